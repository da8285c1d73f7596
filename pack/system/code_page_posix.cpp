// Code page conversions through iconv, which knows Windows code pages as CP1252 and so on.
#include "pack/system/code_page.h"

#include <iconv.h>

#include <vector>

namespace {

// iconv without transliteration: a character with no exact counterpart fails.
std::optional<std::string> Iconv(const std::string& text, const std::string& from, const std::string& to)
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

}  // namespace

std::optional<std::string> ConvertText(const std::string& text, unsigned from, unsigned to)
{
    return Iconv(text, from == 65001 ? "UTF-8" : IconvName(from), to == 65001 ? "UTF-8" : IconvName(to));
}

bool CanConvert(unsigned codePage)
{
    iconv_t converter = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(converter);
    return true;
}
