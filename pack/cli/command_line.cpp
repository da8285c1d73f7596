#include "pack/cli/command_line.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "pack/cli/printable_text.h"
#include "pack/system/code_page.h"

int Fail(const std::string& message)
{
    std::fprintf(stderr, "sfxpack: %s\n", Printable(message).c_str());
    return 1;
}

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "sfxpack: %s\n(sfxpack --help shows how to call it)\n", Printable(message).c_str());
    return 2;
}

void Warn(const std::string& message)
{
    std::fprintf(stderr, "sfxpack: warning: %s\n", Printable(message).c_str());
}

bool ParsedCall::Has(const std::string& name) const
{
    for (const auto& option : options)
        if (option.first == name)
            return true;
    return false;
}

std::optional<ParsedCall> ParseCall(const Arguments& args, const std::vector<OptionSpec>& commandSpecs,
                                    std::string* error)
{
    std::vector<OptionSpec> specs = commandSpecs;
    specs.push_back({"--help", 'h'});
    specs.push_back({"--quiet", 'q'});
    auto find = [&](auto matches) -> const OptionSpec* {
        for (const OptionSpec& spec : specs)
            if (matches(spec))
                return &spec;
        return nullptr;
    };
    ParsedCall call;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--") {
            call.operands.insert(call.operands.end(), args.begin() + static_cast<ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            call.operands.push_back(arg);
            continue;
        }
        const bool isLong = arg[1] == '-';
        // Short options that take no value may run together, as getopt
        // takes them: -qo FILE is -q -o FILE.
        while (!isLong && arg.size() > 2) {
            const OptionSpec* flag = find([&](const OptionSpec& s) { return s.letter && s.letter == arg[1]; });
            if (!flag || flag->takes_value)
                break;
            call.options.emplace_back(flag->name, "");
            arg.erase(1, 1);
        }
        const size_t equals = isLong ? arg.find('=') : std::string::npos;
        const std::string name = isLong ? arg.substr(0, equals) : arg.substr(0, 2);
        const OptionSpec* spec = isLong ? find([&](const OptionSpec& s) { return name == s.name; })
                                        : find([&](const OptionSpec& s) { return s.letter && s.letter == arg[1]; });
        if (!spec) {
            *error = "unknown option " + name;
            return std::nullopt;
        }
        std::optional<std::string> value;
        if (isLong && equals != std::string::npos)
            value = arg.substr(equals + 1);
        else if (!isLong && arg.size() > 2)
            value = arg.substr(2);
        if (!spec->takes_value && value) {
            *error = name + " takes no value";
            return std::nullopt;
        }
        if (spec->takes_value && !value) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        }
        call.options.emplace_back(spec->name, value.value_or(""));
    }
    return call;
}

std::string OptionGiven(const std::string& option, const std::string& value)
{
    return option + " " + (value.empty() ? "''" : value);
}

std::optional<unsigned> ParseNumber(const std::string& text, unsigned largest)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned value = static_cast<unsigned>(std::stoul(text));
    return value <= largest ? std::optional<unsigned>(value) : std::nullopt;
}

std::optional<unsigned> ParseCodePage(const std::string& value, std::string* error)
{
    // The code pages that Windows has as a system's ANSI code page: the
    // installer reads its names in the installing system's.
    constexpr unsigned kAnsiCodePages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
    const std::optional<unsigned> number = ParseNumber(value, 65535);
    if (!number)
        *error = OptionGiven("--codepage", value) + ": not a code page number, such as 1252";
    else if (*number == 65001)
        *error = "--codepage 65001: the installer reads names in the installing system's ANSI code page, "
                 "which is UTF-8 only where a beta option of Windows 10 and later makes it so; give the code "
                 "page of the machines that install it (1252 for Western Europe and the Americas, 1250 "
                 "Central Europe, 1251 Cyrillic, 932 Japanese...)";
    else if (std::find(std::begin(kAnsiCodePages), std::end(kAnsiCodePages), *number) == std::end(kAnsiCodePages))
        *error = "--codepage " + value + ": not one of Windows' ANSI code pages (874, 932, 936, 949, 950, 1250 to "
                 "1258), in which the installer reads names";
    else if (!IsKnownCodePage(*number))
        *error = "--codepage " + value + ": a code page this system cannot convert names to and from";
    return error->empty() ? number : std::nullopt;
}

std::string Count(uint64_t count, const std::string& singular, const std::string& plural)
{
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}
