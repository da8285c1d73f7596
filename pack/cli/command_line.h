// What every sfxpack command shares: its messages and how it reads options.
// A failure is one line on stderr naming the thing and the cause.
#ifndef SFX_PACK_COMMAND_LINE_H
#define SFX_PACK_COMMAND_LINE_H

#include <optional>
#include <string>
#include <vector>

using Arguments = std::vector<std::string>;

// "sfxpack: MESSAGE"; returns 1, the exit status of a failure.
int Fail(const std::string& message);
// The same with a pointer to --help; returns 2, the exit status of a wrong call.
int UsageError(const std::string& message);
// "sfxpack: warning: MESSAGE".
void Warn(const std::string& message);

// The value of an option such as "--level 9"; advances i past it.
std::optional<std::string> OptionValue(const Arguments& args, size_t& i);
// A decimal number of at most `largest`.
std::optional<unsigned> ParseNumber(const std::string& text, unsigned largest);
// --codepage's value: a code page names can be converted from and to here.
std::optional<unsigned> ParseCodePage(const std::string& option, const std::optional<std::string>& value,
                                      std::string* error);

#endif
