// What every sfxpack command shares: its messages and how it reads options.
// A failure is one line on stderr naming the thing and the cause.
#ifndef SFX_PACK_COMMAND_LINE_H
#define SFX_PACK_COMMAND_LINE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Arguments = std::vector<std::string>;

// Messages name paths and names that come from files and installers, so
// their control characters are printed as escapes: one line each.
// "sfxpack: MESSAGE"; returns 1, the exit status of a failure.
int Fail(const std::string& message);
// The same with a pointer to --help; returns 2, the exit status of a wrong call.
int UsageError(const std::string& message);
// "sfxpack: warning: MESSAGE".
void Warn(const std::string& message);

// An option a command takes: "--level" with a value, "--quiet" without; a
// one-letter form ('q' for -q) when it has one.
struct OptionSpec {
    const char* name;
    char letter = 0;
    bool takes_value = false;
};

// A call read the GNU way: "--level=9" or "--level 9", "-o OUT" or "-oOUT",
// "--" ending the options (a file named "-x" after it), "-" an operand.
// Every command also takes --help (-h) and --quiet (-q).
struct ParsedCall {
    std::vector<std::pair<std::string, std::string>> options;  // long name, value ("" for a flag), in order
    std::vector<std::string> operands;
    bool Has(const std::string& name) const;
};
std::optional<ParsedCall> ParseCall(const Arguments& args, const std::vector<OptionSpec>& specs, std::string* error);

// "--level 12" (or "--level ''", empty), as a refusal of the value begins:
// the value as the user gave it.
std::string OptionGiven(const std::string& option, const std::string& value);

// A decimal number of at most `largest`.
std::optional<unsigned> ParseNumber(const std::string& text, unsigned largest);
// --codepage's value: a code page names can be converted from and to here.
std::optional<unsigned> ParseCodePage(const std::string& value, std::string* error);

// "1 file", "2 files".
std::string Count(uint64_t count, const std::string& singular, const std::string& plural);

#endif
