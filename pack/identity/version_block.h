// The version block (resource type 16): a tree of nodes, each
//   0: length (u16, the node with its children)  2: value length (u16: bytes,
//   or characters with the terminator for text)  4: type (u16, 1 for text)
//   6: key (UTF-16, NUL-terminated), padding to 4, the value, padding to 4,
//   then the children.
// The root ("VS_VERSION_INFO") holds the fixed numbers (VS_FIXEDFILEINFO);
// "StringFileInfo" holds string tables ("040904b0"), which hold the strings.
#ifndef SFX_PACK_IDENTITY_VERSION_BLOCK_H
#define SFX_PACK_IDENTITY_VERSION_BLOCK_H

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pack/system/bytes.h"

struct VersionNode {
    std::u16string key;
    uint16_t type = 0;  // 1: the value is text
    Bytes value;        // as stored; text with its terminator
    std::vector<VersionNode> children;
};

// A node's length, with its children, is kept in 16 bits: the whole block,
// which holds every other node, can be no longer.
constexpr size_t kLongestVersionNode = 0xFFFF;

std::optional<VersionNode> ReadVersionBlock(const Bytes& block, std::string* error);
// The block's bytes; nothing when a node would be longer than its length
// can say.
std::optional<Bytes> WriteVersionBlock(const VersionNode& root);

using VersionNumber = std::array<uint16_t, 4>;  // A.B.C.D

// "1.2.3.4" (one to four numbers of at most 65535); nothing, with the
// cause in *error, otherwise.
std::optional<VersionNumber> ParseVersionNumber(const std::string& text, std::string* error);
std::string FormatVersionNumber(const VersionNumber& number);

// The fixed file and product versions; false when the root holds no fixed part.
bool SetFixedVersions(VersionNode& root, const std::optional<VersionNumber>& file,
                      const std::optional<VersionNumber>& product);
std::optional<std::pair<VersionNumber, VersionNumber>> FixedVersions(const VersionNode& root);

// Flags of the fixed part that say the block has a PrivateBuild or a
// SpecialBuild string (VS_FF_PRIVATEBUILD, VS_FF_SPECIALBUILD).
constexpr uint32_t kPrivateBuildFlag = 0x08;
constexpr uint32_t kSpecialBuildFlag = 0x20;

// Sets or clears a flag of the fixed part, and its bit in the mask of the
// flags that are valid; false when the root holds no fixed part.
bool SetFileFlag(VersionNode& root, uint32_t flag, bool on);

// Sets a string (UTF-8 in, UTF-16 stored) in every string table, replacing it
// or adding it; false when the block has no string table.
bool SetVersionString(VersionNode& root, const std::string& key, const std::string& utf8);

// Every string of the first string table, as UTF-8: (key, value).
std::vector<std::pair<std::string, std::string>> VersionStrings(const VersionNode& root);

#endif
