#include "pack/cli/printable_text.h"

#include <cstdio>
#include <optional>

#include "pack/system/utf16.h"

namespace {

bool IsControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Characters that a terminal shows as a change of line or of direction, so
// that text after them could pass for another line or read backwards.
bool ReordersOrBreaks(char32_t c)
{
    return c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
           c == 0x200E || c == 0x200F || c == 0x061C;
}

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
        else if (*c < 0x80 && IsControl(*c))
            out += Escape("\\x%02x", static_cast<unsigned>(*c));
        else if (IsControl(*c) || ReordersOrBreaks(*c))
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
        else if (IsControl(c) || ReordersOrBreaks(c))
            json += Escape("\\u%04x", static_cast<unsigned>(c));
        else if (c == kReplacementCharacter)
            AppendUtf8(json, c);
        else
            json.append(text, start, at - start);
    }
    return json + "\"";
}
