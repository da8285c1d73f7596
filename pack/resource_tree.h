// A PE file's resources as a tree: type, then name, then language, then the
// bytes. Read from a file's resource section and written out as a new one.
#ifndef SFX_PACK_RESOURCE_TREE_H
#define SFX_PACK_RESOURCE_TREE_H

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "pack/pe_image.h"

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
};

using ResourceLanguages = std::map<uint16_t, ResourceData>;
using ResourceNames = std::map<ResourceName, ResourceLanguages>;
using ResourceTree = std::map<ResourceName, ResourceNames>;  // by type

// Reads the tree the resource data directory points at; an image without
// resources gives an empty tree. On a malformed tree returns nothing and says
// why in *error.
std::optional<ResourceTree> ReadResourceTree(const Bytes& file, const PeImage& image, std::string* error);

// Lays the tree out as the contents of a resource section loaded at `rva`.
Bytes WriteResourceTree(const ResourceTree& tree, uint32_t rva);

// A readable form of a name: "SETUP" or "2000".
std::string DescribeResourceName(const ResourceName& name);

#endif
