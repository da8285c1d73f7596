// Reads the package out of an installer made by anything: finds the resource,
// inflates it in memory and checks the merge data file as the stub would.
#ifndef SFX_PACK_PACKAGE_READER_H
#define SFX_PACK_PACKAGE_READER_H

#include <optional>
#include <string>
#include <vector>

#include "extract/merge_format.h"
#include "pack/pe_image.h"

struct InstallerPackage {
    MergeHeader header;
    std::vector<MergeEntry> entries;
    std::vector<uint64_t> offsets;  // where each entry's contents start in `merge`
    Bytes merge;                    // the inflated merge data file
    size_t stream_size = 0;         // bytes of the resource that the zlib stream used
    size_t resource_size = 0;
};

// The package, or nothing with the reason in *error: no resource, a zlib
// stream that is cut short, corrupt or fails its Adler-32 check, or a merge
// data file the stub would refuse.
std::optional<InstallerPackage> ReadInstallerPackage(const Bytes& file, std::string* error);

// What the stub would tolerate but a sound package never has: entries of size
// 0, names that are the same without regard to case, a launch name that is not
// an entry, bytes after the stream or after the contents. One line each.
std::vector<std::string> FindPackageFlaws(const InstallerPackage& package);

#endif
