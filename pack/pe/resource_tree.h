// A PE file's resources as a tree: type, then name, then language, then the
// bytes. Read from a file's resource section and written out as a new one.
#ifndef SFX_PACK_RESOURCE_TREE_H
#define SFX_PACK_RESOURCE_TREE_H

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "pack/pe/pe_image.h"

// The resource types the packer reads and writes, and the ids Windows gives
// meaning to: a program's version block is 1, the manifest of its process 1.
constexpr uint16_t kIconResource = 3;
constexpr uint16_t kDialogResource = 5;
constexpr uint16_t kIconGroupResource = 14;
constexpr uint16_t kVersionResource = 16;
constexpr uint16_t kManifestResource = 24;
constexpr uint16_t kVersionBlockId = 1;
constexpr uint16_t kProcessManifestId = 1;

// A type or a name: a 16-bit id, or a string (UTF-16, as stored).
struct ResourceName {
    std::u16string text;  // empty: an id
    uint16_t id = 0;

    static ResourceName Id(uint16_t id) { return {u"", id}; }
    static ResourceName Text(const std::string& ascii) { return {std::u16string(ascii.begin(), ascii.end()), 0}; }
    bool IsId() const { return text.empty(); }

    // The order of a resource directory: strings first, then ids ascending.
    std::strong_ordering operator<=>(const ResourceName& other) const;
    bool operator==(const ResourceName& other) const = default;
};

struct ResourceData {
    Bytes bytes;
    uint32_t codepage = 0;
    // Bytes not held here: on writing, the caller puts them after the section
    // that WriteResourceTree lays out (at most one resource of a tree); on
    // reading a window of a file, they lie at file_offset.
    bool deferred = false;
    uint32_t deferred_size = 0;
    uint64_t file_offset = 0;  // where the bytes were read from
};

using ResourceLanguages = std::map<uint16_t, ResourceData>;
using ResourceNames = std::map<ResourceName, ResourceLanguages>;
using ResourceTree = std::map<ResourceName, ResourceNames>;  // by type

struct FileRange {
    uint64_t offset;
    uint64_t size;
};

// The most resources (language entries) a tree may hold: a hostile tree may
// point many entries at the same bytes, so the reader stops long before
// memory runs out, and refuses a tree of more. Whatever makes a tree for a
// file checks it against the same number, so that its files can be read.
constexpr size_t kMostResources = 65536;
size_t CountResources(const ResourceTree& tree);

// A directory counts its named and its numbered entries in 16 bits each:
// the one that holds more of either, described ("the resources of type
// SETUP (65536)"); nothing when every directory fits.
constexpr size_t kMostDirectoryEntries = 0xFFFF;
std::optional<std::string> OverfullDirectory(const ResourceTree& tree);

// Reads the tree the resource data directory points at, with every
// resource's bytes, from the whole file; an image without resources gives an
// empty tree. On a malformed tree returns nothing and says why in *error.
std::optional<ResourceTree> ReadResourceTree(const Bytes& file, const PeImage& image, std::string* error);

// Where in the file the resource directory at `rva` lies: from the directory
// to the end of its section's bytes.
std::optional<FileRange> ResourceDirectoryRange(const PeImage& image, uint64_t fileSize, uint32_t rva,
                                                std::string* error);

// Reads the tree from a window of the file that starts at `windowOffset` and
// covers the directory's start: with the bytes when the window is the whole
// file, otherwise only where each resource's bytes lie (deferred).
std::optional<ResourceTree> ReadResourceTreeShape(const Bytes& window, uint64_t windowOffset, uint64_t fileSize,
                                                  const PeImage& image, FileRange directory, std::string* error);

// Lays the tree out as the contents of a resource section loaded at `rva`.
// With a deferred resource, the section ends with that resource's bytes, which
// the caller appends; then the result ends where they begin.
Bytes WriteResourceTree(const ResourceTree& tree, uint32_t rva);

// A readable form of a name: "SETUP" or "2000".
std::string DescribeResourceName(const ResourceName& name);

#endif
