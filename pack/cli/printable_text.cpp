#include "pack/cli/printable_text.h"

#include <cstdio>
#include <optional>

#include "pack/system/utf16.h"

namespace {

std::string Escape(const char* format, unsigned value)
{
    char escaped[16];
    std::snprintf(escaped, sizeof escaped, format, value);
    return escaped;
}

}  // namespace

std::string Printable(const std::string& text)
{
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t start = at;
        const std::optional<char32_t> c = DecodeUtf8(text, &at);
        if (!c)
            out += Escape("\\x%02x", static_cast<unsigned char>(text[start]));
        else if (*c == '\t')
            out += "\\t";
        else if (*c == '\n')
            out += "\\n";
        else if (*c == '\r')
            out += "\\r";
        else if (*c < 0x80 && IsControlCharacter(*c))
            out += Escape("\\x%02x", static_cast<unsigned>(*c));
        else if (IsControlCharacter(*c) || IsLayoutCharacter(*c))
            out += Escape("\\u%04x", static_cast<unsigned>(*c));
        else
            out.append(text, start, at - start);
    }
    return out;
}

std::string JsonString(const std::string& text)
{
    std::string json = "\"";
    for (size_t at = 0; at < text.size();) {
        const size_t start = at;
        const char32_t c = DecodeUtf8(text, &at).value_or(kReplacementCharacter);
        if (c == '"' || c == '\\')
            json += {'\\', static_cast<char>(c)};
        else if (IsControlCharacter(c) || IsLayoutCharacter(c))
            json += Escape("\\u%04x", static_cast<unsigned>(c));
        else if (c == kReplacementCharacter)
            AppendUtf8(json, c);
        else
            json.append(text, start, at - start);
    }
    return json + "\"";
}
