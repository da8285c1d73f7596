#include "pack/system/code_page.h"

#include "pack/system/upper_case.h"

#include <vector>

namespace {

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
    if (!ConvertText(utf8, kUtf8, kUtf8)) {
        *error = "the name is not valid UTF-8";
        return std::nullopt;
    }
    std::optional<std::string> converted = ConvertText(utf8, kUtf8, codePage);
    // Some converters map a character one way only (iconv's 932 gives "〜"
    // the byte of "～"): a name is held only if it reads back as it is.
    if (converted && ConvertText(*converted, codePage, kUtf8) != utf8)
        converted.reset();
    if (!converted)
        *error = "the name has characters that code page " + std::to_string(codePage) + " cannot hold";
    return converted;
}

std::optional<std::string> CodePageToUtf8(const std::string& text, unsigned codePage)
{
    return ConvertText(text, codePage, kUtf8);
}

std::u32string CaseFoldedKey(const std::string& storedName, unsigned codePage)
{
    std::u32string key;
    if (const std::optional<std::string> utf8 = CodePageToUtf8(storedName, codePage))
        key = Decode(*utf8);
    else
        for (const unsigned char byte : storedName)
            key += byte;
    for (char32_t& c : key)
        c = UpperCase(c);
    return key;
}
