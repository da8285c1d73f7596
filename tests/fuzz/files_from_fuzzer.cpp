// libFuzzer target: the lists of --files-from. The first byte chooses lines
// or NULs and the size of the pieces the list arrives in; the rest is the
// list. Whatever the bytes, the paths are the same however the list is cut,
// each is UTF-8 without NUL (or line end, in a list of lines), a list of
// them written again reads back the same, and any list of UTF-8 lines
// without NUL of a sane length is taken.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pack/cli/file_list.h"
#include "pack/system/utf16.h"

namespace {

struct Outcome {
    bool taken;
    std::vector<std::string> paths;
    std::string error;
    bool operator==(const Outcome& other) const = default;
};

Outcome Parse(const std::string& list, ListSeparator separator, size_t piece)
{
    FileListParser parser(separator);
    bool taken = true;
    for (size_t at = 0; taken && at < list.size(); at += piece)
        taken = parser.Take(list.data() + at, std::min(piece, list.size() - at));
    taken = taken && parser.Finish();
    return {taken, parser.Paths(), parser.Error()};
}

bool IsUtf8(const std::string& text)
{
    for (size_t at = 0; at < text.size();)
        if (!DecodeUtf8(text, &at))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const ListSeparator separator = data[0] & 1 ? ListSeparator::kNul : ListSeparator::kLine;
    const char end = separator == ListSeparator::kNul ? '\0' : '\n';
    const size_t piece = 1 + (data[0] >> 1);
    const std::string list(reinterpret_cast<const char*>(data) + 1, size - 1);

    const Outcome whole = Parse(list, separator, list.size() + 1);
    if (Parse(list, separator, piece) != whole)
        abort();
    if (whole.taken != whole.error.empty())
        abort();
    if (!whole.taken && whole.error.rfind(separator == ListSeparator::kNul ? "name " : "line ", 0) != 0)
        abort();
    for (const std::string& path : whole.paths)
        if (path.empty() || !IsUtf8(path) || path.find('\0') != std::string::npos ||
            path.find(end) != std::string::npos)
            abort();

    // Written again, after a byte order mark (so that a path that begins
    // with one keeps it), each line ended by CR LF (so that a path that ends
    // in CR keeps it), the paths read back the same.
    if (whole.taken) {
        std::string again = "\xEF\xBB\xBF";
        for (const std::string& path : whole.paths)
            again += path + (separator == ListSeparator::kLine ? "\r\n" : std::string(1, '\0'));
        const Outcome reread = Parse(again, separator, piece);
        if (!reread.taken || reread.paths != whole.paths)
            abort();
    }

    // Lines of UTF-8 without NUL, none longer than a path may be, are taken.
    if (separator == ListSeparator::kLine && IsUtf8(list) && list.find('\0') == std::string::npos) {
        size_t longest = 0;
        for (size_t start = 0; start <= list.size();) {
            const size_t stop = std::min(list.find('\n', start), list.size());
            longest = std::max(longest, stop - start);
            start = stop + 1;
        }
        if (longest < 90000 && !whole.taken)
            abort();
    }
    return 0;
}
