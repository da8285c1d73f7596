#include "pack/code_page.h"

#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace {

#ifdef _WIN32

std::optional<std::wstring> Widen(const std::string& text, unsigned codePage)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::optional<std::string> Narrow(const std::wstring& wide, unsigned codePage)
{
    if (wide.empty())
        return std::string();
    BOOL lossy = FALSE;
    BOOL* lossyFlag = codePage == CP_UTF8 ? nullptr : &lossy;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, lossyFlag);
    if (length <= 0 || lossy)
        return std::nullopt;
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        lossyFlag);
    if (lossy)
        return std::nullopt;
    return text;
}

std::optional<std::string> Convert(const std::string& text, unsigned from, unsigned to)
{
    const std::optional<std::wstring> wide = Widen(text, from);
    return wide ? Narrow(*wide, to) : std::nullopt;
}

bool CanConvert(unsigned codePage)
{
    return IsValidCodePage(codePage) != 0;
}

#else

// iconv without transliteration: a character with no exact counterpart fails.
std::optional<std::string> Convert(const std::string& text, const std::string& from, const std::string& to)
{
    iconv_t converter = iconv_open(to.c_str(), from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string input = text;
    std::vector<char> output(text.size() * 4 + 16);
    char* in = input.data();
    char* out = output.data();
    size_t inLeft = input.size(), outLeft = output.size();
    const size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (done == static_cast<size_t>(-1) || inLeft != 0)
        return std::nullopt;
    return std::string(output.data(), out);
}

std::string IconvName(unsigned codePage)
{
    return "CP" + std::to_string(codePage);
}

std::optional<std::string> Convert(const std::string& text, unsigned from, unsigned to)
{
    return Convert(text, from == 65001 ? "UTF-8" : IconvName(from), to == 65001 ? "UTF-8" : IconvName(to));
}

bool CanConvert(unsigned codePage)
{
    iconv_t converter = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(converter);
    return true;
}

#endif

constexpr unsigned kUtf8 = 65001;

// Decodes UTF-8 leniently: a stray byte stands for itself.
std::u32string Decode(const std::string& utf8)
{
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (extra == 0 || i + extra >= utf8.size()) {
            out += lead;
            ++i;
            continue;
        }
        char32_t c = lead & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k)
            c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += c;
        i += 1 + extra;
    }
    return out;
}

// Upper case for ASCII, Latin-1 and Latin Extended-A: the letters that the
// Western code pages hold.
char32_t FoldToUpper(char32_t c)
{
    if (c >= U'a' && c <= U'z')
        return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 32;
    if (c == 0xFF)
        return 0x178;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))  // upper case even, lower case odd
        return c % 2 ? c - 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))  // upper case odd, lower case even
        return c % 2 ? c : c - 1;
    return c;
}

}  // namespace

bool IsKnownCodePage(unsigned codePage)
{
    return CanConvert(codePage);
}

std::optional<std::string> Utf8ToCodePage(const std::string& utf8, unsigned codePage, std::string* error)
{
    if (!IsKnownCodePage(codePage)) {
        *error = "code page " + std::to_string(codePage) + " is not supported";
        return std::nullopt;
    }
    if (!Convert(utf8, kUtf8, kUtf8)) {
        *error = "the name is not valid UTF-8";
        return std::nullopt;
    }
    std::optional<std::string> converted = Convert(utf8, kUtf8, codePage);
    if (!converted)
        *error = "the name has characters that code page " + std::to_string(codePage) + " cannot hold";
    return converted;
}

std::optional<std::string> CodePageToUtf8(const std::string& text, unsigned codePage)
{
    return Convert(text, codePage, kUtf8);
}

std::u32string CaseFoldedKey(const std::string& utf8)
{
    std::u32string key = Decode(utf8);
    for (char32_t& c : key)
        c = FoldToUpper(c);
    return key;
}
