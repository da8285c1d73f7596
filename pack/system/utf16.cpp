#include "pack/system/utf16.h"

namespace {

bool IsSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

}  // namespace

std::optional<char32_t> DecodeUtf8(const std::string& text, size_t* at)
{
    const size_t start = (*at)++;
    const unsigned char lead = static_cast<unsigned char>(text[start]);
    if (lead < 0x80)
        return lead;
    // The lead byte says how many continuation bytes follow, and so the
    // smallest value that needs that many (anything less is overlong).
    const int extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                      : lead >= 0xE0 && lead <= 0xEF ? 2
                      : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                     : 0;
    if (extra == 0 || start + extra >= text.size())
        return std::nullopt;
    char32_t c = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[start + k]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        c = c << 6 | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[extra] || c > 0x10FFFF || IsSurrogate(c))
        return std::nullopt;
    *at = start + 1 + extra;
    return c;
}

bool IsControlCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool IsLayoutCharacter(char32_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029 || c == 0xFEFF ||
           (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::u16string Utf16FromUtf8(const std::string& utf8)
{
    std::u16string text;
    for (size_t at = 0; at < utf8.size();) {
        const char32_t c = DecodeUtf8(utf8, &at).value_or(kReplacementCharacter);
        if (c >= 0x10000) {
            text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text += static_cast<char16_t>(c);
        }
    }
    return text;
}

std::string Utf8FromUtf16(const std::u16string& utf16)
{
    std::string utf8;
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        const bool pairs = c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
                           utf16[i + 1] <= 0xDFFF;
        if (pairs)
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        else if (IsSurrogate(c))
            c = kReplacementCharacter;
        AppendUtf8(utf8, c);
    }
    return utf8;
}

#ifdef _WIN32
std::string Utf8FromUtf16(const std::wstring& utf16)
{
    return Utf8FromUtf16(std::u16string(utf16.begin(), utf16.end()));
}
#endif

void AppendUtf16(Bytes& out, const std::u16string& text, bool terminated)
{
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (terminated)
        out.insert(out.end(), {0, 0});
}

std::u16string LoadUtf16(const Bytes& bytes)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (c == 0)
            break;
        text += c;
    }
    return text;
}
