// Makes packages and installers for the tests, including ones that no honest
// packer would write: a merge data file from entries, compressed with zlib,
// put into a copy of a stub.
#ifndef SFX_TESTS_SUPPORT_PACKAGE_MAKER_H
#define SFX_TESTS_SUPPORT_PACKAGE_MAKER_H

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "extract/merge_format.h"
#include "pack/pe/resource_writer.h"

struct TestEntry {
    std::string name;
    std::string contents;
    // FILETIMEs: 2001-02-03 04:05:06.7 UTC and a day and two days later.
    uint64_t creation = 126255987067000000ull;
    uint64_t last_access = 126255987067000000ull + 864000000000ull;
    uint64_t last_write = 126255987067000000ull + 2 * 864000000000ull;
};

inline std::string MakeMergeFile(const std::vector<TestEntry>& entries, const std::string& launch = "")
{
    std::string file(kMergeHeaderSize + kMergeEntrySize * entries.size(), '\0');
    MergeHeader header{};
    header.count = static_cast<uint32_t>(entries.size());
    std::memcpy(header.launch_name, launch.data(), std::min(launch.size(), kMergeNameSize - 1));
    EncodeMergeHeader(header, reinterpret_cast<uint8_t*>(file.data()));
    for (size_t i = 0; i < entries.size(); ++i) {
        MergeEntry entry{};
        entry.ordinal = static_cast<uint32_t>(i);
        entry.creation_time = entries[i].creation;
        entry.last_access_time = entries[i].last_access;
        entry.last_write_time = entries[i].last_write;
        entry.size = static_cast<uint32_t>(entries[i].contents.size());
        std::memcpy(entry.name, entries[i].name.data(), std::min(entries[i].name.size(), kMergeNameSize - 1));
        EncodeMergeEntry(entry, reinterpret_cast<uint8_t*>(file.data()) + kMergeHeaderSize + kMergeEntrySize * i);
    }
    for (const TestEntry& entry : entries)
        file += entry.contents;
    return file;
}

inline std::string Deflate(const std::string& data)
{
    uLongf size = compressBound(data.size());
    std::string stream(size, '\0');
    compress2(reinterpret_cast<Bytef*>(stream.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
              data.size(), Z_DEFAULT_COMPRESSION);
    stream.resize(size);
    return stream;
}

// The stub with `package` as its package; empty when the writer refuses.
inline std::string MakeInstaller(const std::string& stub, const std::string& package)
{
    std::string error;
    const std::optional<ResourceWriteResult> written =
        WritePackageResource(Bytes(stub.begin(), stub.end()), Bytes(package.begin(), package.end()), &error);
    return written ? std::string(written->file.begin(), written->file.end()) : std::string();
}

#endif
