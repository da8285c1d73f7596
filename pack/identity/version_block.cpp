#include "pack/identity/version_block.h"

#include "pack/pe/pe_image.h"
#include "pack/system/utf16.h"

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr size_t kFixedSize = 52;

size_t Align4(size_t at)
{
    return (at + 3) & ~size_t{3};
}

// Reads the node at `at`, which must end by `end`; children recursively,
// to a depth of a few levels (the format has four).
bool ReadNode(const Bytes& block, size_t at, size_t end, int depth, VersionNode* node, size_t* next)
{
    if (depth > 8 || at + 6 > end)
        return false;
    const size_t length = LoadLe16(block, at), valueLength = LoadLe16(block, at + 2);
    node->type = LoadLe16(block, at + 4);
    if (length < 6 || at + length > end)
        return false;
    const size_t nodeEnd = at + length;
    size_t pos = at + 6;
    for (;; pos += 2) {
        if (pos + 2 > nodeEnd)
            return false;
        const char16_t c = LoadLe16(block, pos);
        if (c == 0)
            break;
        node->key += c;
    }
    pos = Align4(pos + 2);
    const size_t valueBytes = node->type == 1 ? valueLength * 2 : valueLength;
    if (valueBytes > 0) {
        if (pos + valueBytes > nodeEnd)
            return false;
        node->value.assign(block.begin() + static_cast<ptrdiff_t>(pos),
                           block.begin() + static_cast<ptrdiff_t>(pos + valueBytes));
        pos = Align4(pos + valueBytes);
    }
    while (pos + 6 <= nodeEnd) {
        VersionNode child;
        size_t after = 0;
        if (!ReadNode(block, pos, nodeEnd, depth + 1, &child, &after))
            return false;
        node->children.push_back(std::move(child));
        pos = Align4(after);
    }
    *next = nodeEnd;
    return true;
}

// Writes the node and its children; false when a length does not fit the
// 16 bits it is kept in, which would leave a block that readers misread.
bool WriteNode(const VersionNode& node, Bytes& out)
{
    const size_t start = out.size();
    out.resize(start + 6, 0);
    for (char16_t c : node.key) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    out.resize(Align4(out.size()), 0);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const VersionNode& child : node.children) {
        out.resize(Align4(out.size()), 0);
        if (!WriteNode(child, out))
            return false;
    }
    const size_t length = out.size() - start;
    const size_t valueLength = node.type == 1 ? node.value.size() / 2 : node.value.size();
    if (length > kLongestVersionNode || valueLength > kLongestVersionNode)
        return false;
    StoreLe16(out, start, static_cast<uint16_t>(length));
    StoreLe16(out, start + 2, static_cast<uint16_t>(valueLength));
    StoreLe16(out, start + 4, node.type);
    return true;
}

std::vector<VersionNode*> StringTables(VersionNode& root)
{
    std::vector<VersionNode*> tables;
    for (VersionNode& child : root.children)
        if (child.key == u"StringFileInfo")
            for (VersionNode& table : child.children)
                tables.push_back(&table);
    return tables;
}

void StoreVersion(Bytes& fixed, size_t at, const VersionNumber& n)
{
    StoreLe32(fixed, at, uint32_t{n[0]} << 16 | n[1]);
    StoreLe32(fixed, at + 4, uint32_t{n[2]} << 16 | n[3]);
}

VersionNumber LoadVersion(const Bytes& fixed, size_t at)
{
    const uint32_t high = LoadLe32(fixed, at), low = LoadLe32(fixed, at + 4);
    return {static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high), static_cast<uint16_t>(low >> 16),
            static_cast<uint16_t>(low)};
}

bool HasFixedPart(const VersionNode& root)
{
    return root.value.size() >= kFixedSize && LoadLe32(root.value, 0) == kFixedSignature;
}

}  // namespace

std::optional<VersionNode> ReadVersionBlock(const Bytes& block, std::string* error)
{
    VersionNode root;
    size_t next = 0;
    if (!ReadNode(block, 0, block.size(), 0, &root, &next)) {
        *error = "a malformed version block";
        return std::nullopt;
    }
    return root;
}

std::optional<Bytes> WriteVersionBlock(const VersionNode& root)
{
    Bytes out;
    if (!WriteNode(root, out))
        return std::nullopt;
    return out;
}

std::optional<VersionNumber> ParseVersionNumber(const std::string& text, std::string* error)
{
    VersionNumber number{};
    size_t part = 0, at = 0;
    for (;;) {
        const size_t dot = text.find('.', at);
        const std::string piece = text.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
        if (part == 4 || piece.empty() || piece.size() > 5 || piece.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(piece) > 65535) {
            *error = text + ": a version is one to four numbers from 0 to 65535, such as 2.1.0.7";
            return std::nullopt;
        }
        number[part++] = static_cast<uint16_t>(std::stoul(piece));
        if (dot == std::string::npos)
            return number;
        at = dot + 1;
    }
}

std::string FormatVersionNumber(const VersionNumber& n)
{
    return std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]) + "." + std::to_string(n[3]);
}

bool SetFixedVersions(VersionNode& root, const std::optional<VersionNumber>& file,
                      const std::optional<VersionNumber>& product)
{
    if (!HasFixedPart(root))
        return false;
    if (file)
        StoreVersion(root.value, 8, *file);
    if (product)
        StoreVersion(root.value, 16, *product);
    return true;
}

bool SetFileFlag(VersionNode& root, uint32_t flag, bool on)
{
    if (!HasFixedPart(root))
        return false;
    // 24: the mask of the flags that are valid  28: the flags
    StoreLe32(root.value, 24, LoadLe32(root.value, 24) | flag);
    StoreLe32(root.value, 28, on ? LoadLe32(root.value, 28) | flag : LoadLe32(root.value, 28) & ~flag);
    return true;
}

std::optional<std::pair<VersionNumber, VersionNumber>> FixedVersions(const VersionNode& root)
{
    if (!HasFixedPart(root))
        return std::nullopt;
    return std::make_pair(LoadVersion(root.value, 8), LoadVersion(root.value, 16));
}

bool SetVersionString(VersionNode& root, const std::string& key, const std::string& utf8)
{
    const std::vector<VersionNode*> tables = StringTables(root);
    const std::u16string wideKey = Utf16FromUtf8(key);
    Bytes value;
    AppendUtf16(value, Utf16FromUtf8(utf8), /*terminated=*/true);
    for (VersionNode* table : tables) {
        VersionNode* string = nullptr;
        for (VersionNode& child : table->children)
            if (child.key == wideKey)
                string = &child;
        if (!string) {
            table->children.push_back(VersionNode{wideKey, 1, {}, {}});
            string = &table->children.back();
        }
        string->type = 1;
        string->value = value;
    }
    return !tables.empty();
}

std::vector<std::pair<std::string, std::string>> VersionStrings(const VersionNode& root)
{
    std::vector<std::pair<std::string, std::string>> strings;
    for (const VersionNode& child : root.children)
        if (child.key == u"StringFileInfo" && !child.children.empty()) {
            for (const VersionNode& string : child.children[0].children)
                strings.emplace_back(Utf8FromUtf16(string.key), Utf8FromUtf16(LoadUtf16(string.value)));
            break;
        }
    return strings;
}
