// Code page conversions through iconv, which knows Windows code pages as CP1252 and so on.
#include "pack/system/code_page.h"

#include <iconv.h>

#include <map>
#include <utility>
#include <vector>

namespace {

// Converters stay open for the thread's life: names are converted one at a
// time, by the thousand.
class Converters {
public:
    ~Converters()
    {
        for (const auto& [names, converter] : open_)
            if (converter != Invalid())
                iconv_close(converter);
    }
    iconv_t Get(const std::string& from, const std::string& to)
    {
        const auto [found, added] = open_.try_emplace({from, to}, Invalid());
        if (added)
            found->second = iconv_open(to.c_str(), from.c_str());
        return found->second;
    }
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }

private:
    std::map<std::pair<std::string, std::string>, iconv_t> open_;
};
thread_local Converters converters;

// iconv without transliteration: a character with no exact counterpart fails.
std::optional<std::string> Iconv(const std::string& text, const std::string& from, const std::string& to)
{
    iconv_t converter = converters.Get(from, to);
    if (converter == Converters::Invalid())
        return std::nullopt;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // a fresh start, whatever the last text left
    std::string input = text;
    std::vector<char> output(text.size() * 4 + 16);
    char* in = input.data();
    char* out = output.data();
    size_t inLeft = input.size(), outLeft = output.size();
    const size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
    if (done == static_cast<size_t>(-1) || inLeft != 0)
        return std::nullopt;
    // What a converter holds back, waiting for what may follow (CP1255 and
    // CP1258 keep the last letter for an accent), comes out at the end.
    if (iconv(converter, nullptr, nullptr, &out, &outLeft) == static_cast<size_t>(-1))
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
