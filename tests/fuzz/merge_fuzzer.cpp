// libFuzzer target: the merge data reader on arbitrary blocks. The block is an
// exact-size copy, so AddressSanitizer catches any read past its end; every
// entry that the reader accepts must lie within the block.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "extract/merge_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> block(data, data + size);
    MergeHeader header;
    if (ReadMergeHeader(block.data(), block.size(), &header) != MergeStatus::Ok)
        return 0;
    std::vector<MergeEntry> table(header.count);
    uint32_t bad = 0;
    if (ReadMergeTable(block.data(), block.size(), header, table.data(), &bad) != MergeStatus::Ok)
        return 0;
    uint64_t offset = MergeContentsOffset(header.count);
    unsigned sum = 0;
    for (const MergeEntry& entry : table) {
        if (!IsSafeFileName(entry.name) || offset + entry.size > block.size())
            abort();
        for (uint32_t i = 0; i < entry.size; ++i)
            sum += block[offset + i];
        offset += entry.size;
    }
    return static_cast<int>(sum & 0);
}
