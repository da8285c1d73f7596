// Reads the package out of an installer made by anything, as a stream: finds
// the resource, inflates it a piece at a time and checks the merge data file
// as the stub would, never holding more of it than the table.
#ifndef SFX_PACK_PACKAGE_READER_H
#define SFX_PACK_PACKAGE_READER_H

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "extract/merge_format.h"
#include "pack/pe/pe_image.h"

struct InstallerPackage {
    MergeHeader header{};
    std::vector<MergeEntry> entries;
    uint64_t merge_size = 0;     // bytes of the inflated merge data file
    uint64_t contents_end = 0;   // where the last entry's contents end in it
    uint64_t stream_size = 0;    // bytes of the resource that the zlib stream used
    uint64_t resource_size = 0;
};

// What a reader does with the package as it passes: the table once it is
// whole and checked, then each entry's contents in pieces, in order. Either
// may refuse (false, with the reason in *error), which ends the reading.
struct PackageVisitor {
    std::function<bool(const InstallerPackage& package, std::string* error)> on_table;
    std::function<bool(size_t entry, const uint8_t* bytes, size_t count, std::string* error)> on_contents;
};

// The package of the installer at `path`, read to its end; or nothing with
// the reason in *error: no resource, a zlib stream that is cut short,
// corrupt or fails its Adler-32 check, or a merge data file the stub would
// refuse on a system of that code page.
std::optional<InstallerPackage> ReadInstallerPackage(const std::filesystem::path& path, unsigned codePage,
                                                     const PackageVisitor& visitor, std::string* error);

// The same of a package on its own: a file that holds the zlib stream.
std::optional<InstallerPackage> ReadPackageFile(const std::filesystem::path& path, unsigned codePage,
                                                std::string* error);

// What the stub would tolerate but a sound package never has: entries of size
// 0, names that are the same without regard to case (as the installer
// compares them on a system of that code page), a launch name that is not
// an entry, bytes after the stream or after the contents. One line each.
std::vector<std::string> FindPackageFlaws(const InstallerPackage& package, unsigned codePage);

#endif
