#include "pack/package_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "pack/code_page.h"
#include "pack/resource_writer.h"

namespace {

// A 32-bit stub could never hold more in one block.
constexpr uint64_t kLargestMergeFile = uint64_t{1} << 31;

bool Inflate(const Bytes& stream, InstallerPackage* package, std::string* error)
{
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        *error = "zlib could not start inflating";
        return false;
    }
    zs.next_in = const_cast<Bytef*>(stream.data());
    zs.avail_in = static_cast<uInt>(stream.size());
    int code;
    do {  // until the stream ends or zlib can go no further
        uint8_t chunk[65536];
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        code = inflate(&zs, Z_NO_FLUSH);
        package->merge.insert(package->merge.end(), chunk, chunk + (sizeof chunk - zs.avail_out));
        if (package->merge.size() > kLargestMergeFile) {
            inflateEnd(&zs);
            *error = "the package inflates to more than 2 GiB";
            return false;
        }
    } while (code == Z_OK);
    package->stream_size = stream.size() - zs.avail_in;
    inflateEnd(&zs);
    if (code == Z_STREAM_END)
        return true;
    *error = code == Z_BUF_ERROR ? "the package's zlib stream is cut short"
                                 : std::string("the package's zlib stream is corrupt (") +
                                       (zs.msg ? zs.msg : "zlib error " + std::to_string(code)) + ")";
    return false;
}

std::string Name(const char* field)
{
    return std::string(field, strnlen(field, kMergeNameSize));
}

// Names as stored, compared as Latin-1: enough to tell names that Windows
// would take for the same file.
std::u32string FoldedName(const char* field)
{
    std::string latin;
    for (unsigned char c : Name(field)) {
        if (c < 0x80) {
            latin += static_cast<char>(c);
        } else {
            latin += static_cast<char>(0xC0 | c >> 6);
            latin += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return CaseFoldedKey(latin);
}

}  // namespace

std::optional<InstallerPackage> ReadInstallerPackage(const Bytes& file, std::string* error)
{
    const std::optional<Bytes> stream = FindPackageResource(file, error);
    if (!stream)
        return std::nullopt;
    InstallerPackage package;
    package.resource_size = stream->size();
    if (!Inflate(*stream, &package, error))
        return std::nullopt;

    const uint8_t* block = package.merge.data();
    const size_t size = package.merge.size();
    MergeStatus status = ReadMergeHeader(block, size, &package.header);
    uint32_t bad = 0;
    if (status == MergeStatus::Ok) {
        package.entries.resize(package.header.count);
        status = ReadMergeTable(block, size, package.header, package.entries.data(), &bad);
    }
    if (status != MergeStatus::Ok) {
        *error = std::string("invalid package: ") + DescribeMergeStatus(status);
        if (status == MergeStatus::InvalidEntryName)
            *error += " (entry " + std::to_string(bad) + ")";
        return std::nullopt;
    }
    uint64_t offset = MergeContentsOffset(package.header.count);
    for (const MergeEntry& entry : package.entries) {
        package.offsets.push_back(offset);
        offset += entry.size;
    }
    return package;
}

std::vector<std::string> FindPackageFlaws(const InstallerPackage& package)
{
    std::vector<std::string> flaws;
    std::set<std::u32string> seen;
    bool launchFound = package.header.launch_name[0] == '\0';
    for (size_t i = 0; i < package.entries.size(); ++i) {
        const MergeEntry& entry = package.entries[i];
        const std::string name = Name(entry.name);
        if (entry.size == 0)
            flaws.push_back("entry " + std::to_string(i) + " (" + name + ") is empty; the installer stops there");
        if (entry.size_high != 0)
            flaws.push_back("entry " + std::to_string(i) + " (" + name + ") has a non-zero high size");
        if (!seen.insert(FoldedName(entry.name)).second)
            flaws.push_back("entry " + std::to_string(i) + " (" + name + ") has the name of an earlier entry");
        if (FoldedName(entry.name) == FoldedName(package.header.launch_name))
            launchFound = true;
    }
    if (!launchFound)
        flaws.push_back("the launch file " + Name(package.header.launch_name) + " is not among the entries");
    const uint64_t end = package.offsets.empty() ? 0 : package.offsets.back() + package.entries.back().size;
    if (package.merge.size() > end)
        flaws.push_back(std::to_string(package.merge.size() - end) + " bytes after the last entry's contents");
    if (package.resource_size > package.stream_size)
        flaws.push_back(std::to_string(package.resource_size - package.stream_size) +
                        " bytes after the end of the zlib stream");
    return flaws;
}
