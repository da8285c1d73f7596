#include "pack/cli/command_line.h"

#include <cstdio>

#include "pack/system/code_page.h"

int Fail(const std::string& message)
{
    std::fprintf(stderr, "sfxpack: %s\n", message.c_str());
    return 1;
}

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "sfxpack: %s\n(sfxpack --help shows how to call it)\n", message.c_str());
    return 2;
}

void Warn(const std::string& message)
{
    std::fprintf(stderr, "sfxpack: warning: %s\n", message.c_str());
}

std::optional<std::string> OptionValue(const Arguments& args, size_t& i)
{
    if (i + 1 >= args.size())
        return std::nullopt;
    return args[++i];
}

std::optional<unsigned> ParseNumber(const std::string& text, unsigned largest)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned value = static_cast<unsigned>(std::stoul(text));
    return value <= largest ? std::optional<unsigned>(value) : std::nullopt;
}

std::optional<unsigned> ParseCodePage(const std::string& option, const std::optional<std::string>& value,
                                      std::string* error)
{
    const std::optional<unsigned> number = value ? ParseNumber(*value, 65535) : std::nullopt;
    if (!number)
        *error = option + " takes a Windows code page number, such as 1252";
    else if (!IsKnownCodePage(*number))
        *error = option + " " + *value + ": a code page this system cannot convert names to and from";
    return error->empty() ? number : std::nullopt;
}
