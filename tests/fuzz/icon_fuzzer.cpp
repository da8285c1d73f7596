// libFuzzer target: the icon file reader on arbitrary files, as --icon reads
// them, and the icon group that the packer makes of what it accepts. The file
// is an exact-size copy, so AddressSanitizer catches any read past its end.
// What the reader accepts must fit in the file once (no image copied twice),
// and its group must list the ids it was given and describe every image.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pack/identity/icon_file.h"

namespace {

size_t Items(const std::string& description)
{
    size_t count = 1;
    for (size_t at = 0; (at = description.find(", ", at)) != std::string::npos; at += 2)
        ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Bytes file(data, data + size);
    // The input read as an installer's group, every image's start the
    // input's own, as much of it as info reads.
    IconGroupIds(file);
    DescribeIconGroup(file);
    const Bytes start(file.begin(), file.begin() + static_cast<ptrdiff_t>(std::min(size, kIconImageStartSize)));
    DescribeIconGroup(file, [&](uint16_t) { return std::optional<Bytes>(start); });

    std::string error;
    const std::optional<std::vector<IconImage>> images = ReadIconFile(file, &error);
    if (!images) {
        if (error.empty())
            abort();
        return 0;
    }
    uint64_t total = 0;
    std::vector<uint16_t> ids;
    for (const IconImage& image : *images) {
        if (image.bytes.empty() || image.width < 1 || image.width > 256 || image.height < 1 || image.height > 256)
            abort();
        total += image.bytes.size();
        ids.push_back(static_cast<uint16_t>(ids.size() + 1));
    }
    if (images->empty() || total > size)
        abort();
    const Bytes group = MakeIconGroup(*images, ids);
    if (IconGroupIds(group) != ids)
        abort();
    const std::string description = DescribeIconGroup(group, [&](uint16_t id) {
        return id >= 1 && id <= images->size() ? std::optional<Bytes>((*images)[id - 1].bytes) : std::nullopt;
    });
    if (description == "(malformed)" || Items(description) != images->size())
        abort();
    return 0;
}
