#include "pack/resource_tree.h"

#include <algorithm>
#include <type_traits>

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
// A hostile tree may point many entries at the same bytes; stop copying long
// before memory runs out.
constexpr size_t kMaxLeaves = 65536;

struct SectionView {
    const Bytes& file;
    size_t start;  // the resource directory's file offset
    size_t size;   // bytes from there to the end of its section's data
    uint32_t rva;
};

class TreeReader {
public:
    TreeReader(const Bytes& file, const PeImage& image, SectionView view, std::string* error)
        : file_(file), image_(image), view_(view), error_(error) {}

    bool ReadTypes(ResourceTree* tree)
    {
        return ReadDirectory(0, [&](const ResourceName& type, uint32_t offset) {
            return ReadDirectory(offset, [&](const ResourceName& name, uint32_t nameOffset) {
                return ReadDirectory(nameOffset, [&](const ResourceName& language, uint32_t dataOffset) {
                    if (!language.IsId())
                        return Fail("a language given by name");
                    ResourceData data;
                    if (!ReadData(dataOffset, &data))
                        return false;
                    (*tree)[type][name][language.id] = std::move(data);
                    return true;
                });
            });
        });
    }

private:
    // Calls visit(name, offset) for each entry of the directory at `offset`;
    // levels above the last want subdirectories, the last wants data entries.
    template <typename Visit>
    bool ReadDirectory(uint32_t offset, Visit visit)
    {
        const bool leaves = depth_ == 2;
        if (!Fits(offset, kDirectoryHeaderSize))
            return Fail("a directory lies outside the resource section");
        const size_t count = size_t{Load16(offset + 12)} + Load16(offset + 14);
        if (!Fits(offset + kDirectoryHeaderSize, count * kDirectoryEntrySize))
            return Fail("a directory's entries lie outside the resource section");
        ++depth_;
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = offset + kDirectoryHeaderSize + i * kDirectoryEntrySize;
            ResourceName name;
            if (!ReadName(Load32(entry), &name))
                return false;
            const uint32_t target = Load32(entry + 4);
            if (((target & kHighBit) != 0) == leaves)
                return Fail(leaves ? "a directory where data belongs" : "data where a directory belongs");
            if (!visit(name, target & ~kHighBit))
                return false;
        }
        --depth_;
        return true;
    }

    bool ReadName(uint32_t field, ResourceName* name)
    {
        if (!(field & kHighBit)) {
            if (field > 0xFFFF)
                return Fail("an id above 65535");
            *name = ResourceName::Id(static_cast<uint16_t>(field));
            return true;
        }
        const uint32_t at = field & ~kHighBit;
        if (!Fits(at, 2) || !Fits(at + 2, size_t{Load16(at)} * 2))
            return Fail("a name lies outside the resource section");
        const uint16_t length = Load16(at);
        if (length == 0)
            return Fail("an empty name");
        name->text.clear();
        for (uint16_t i = 0; i < length; ++i)
            name->text += static_cast<char16_t>(Load16(at + 2 + 2 * size_t{i}));
        return true;
    }

    bool ReadData(uint32_t offset, ResourceData* data)
    {
        if (++leaves_ > kMaxLeaves)
            return Fail("too many resources");
        if (!Fits(offset, kDataEntrySize))
            return Fail("a data entry lies outside the resource section");
        const uint32_t rva = Load32(offset), size = Load32(offset + 4);
        const std::optional<size_t> at = RvaToFileOffset(image_, file_.size(), rva, size);
        if (!at)
            return Fail("a resource's bytes lie outside the file");
        copied_ += size;
        if (copied_ > 16 * file_.size())
            return Fail("resources that overlap far too much");
        data->bytes.assign(file_.begin() + static_cast<ptrdiff_t>(*at),
                           file_.begin() + static_cast<ptrdiff_t>(*at + size));
        data->codepage = Load32(offset + 8);
        return true;
    }

    bool Fits(size_t offset, size_t count) const { return offset <= view_.size && count <= view_.size - offset; }
    uint16_t Load16(size_t offset) const { return LoadLe16(file_, view_.start + offset); }
    uint32_t Load32(size_t offset) const { return LoadLe32(file_, view_.start + offset); }
    bool Fail(const std::string& why)
    {
        *error_ = "malformed resources: " + why;
        return false;
    }

    const Bytes& file_;
    const PeImage& image_;
    SectionView view_;
    std::string* error_;
    int depth_ = 0;
    size_t leaves_ = 0;
    uint64_t copied_ = 0;
};

// Appends little-endian numbers and keeps offsets for later patching.
class Writer {
public:
    size_t Size() const { return bytes_.size(); }
    void Align(size_t to) { bytes_.resize((bytes_.size() + to - 1) / to * to, 0); }
    size_t Reserve(size_t count)
    {
        bytes_.resize(bytes_.size() + count, 0);
        return bytes_.size() - count;
    }
    void Put16(size_t at, uint16_t value) { StoreLe16(bytes_, at, value); }
    void Put32(size_t at, uint32_t value) { StoreLe32(bytes_, at, value); }
    void Append(const Bytes& data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    Bytes Take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

template <typename Directory>
int NamedCount(const Directory& directory)
{
    if constexpr (std::is_same_v<typename Directory::key_type, ResourceName>)
        return static_cast<int>(std::count_if(directory.begin(), directory.end(),
                                              [](const auto& item) { return !item.first.IsId(); }));
    return 0;  // languages are always ids
}

}  // namespace

std::strong_ordering ResourceName::operator<=>(const ResourceName& other) const
{
    if (IsId() != other.IsId())
        return IsId() ? std::strong_ordering::greater : std::strong_ordering::less;
    if (IsId())
        return id <=> other.id;
    return text <=> other.text;
}

std::string DescribeResourceName(const ResourceName& name)
{
    if (name.IsId())
        return std::to_string(name.id);
    std::string ascii;
    for (char16_t c : name.text)
        ascii += c < 0x80 ? static_cast<char>(c) : '?';
    return ascii;
}

std::optional<ResourceTree> ReadResourceTree(const Bytes& file, const PeImage& image, std::string* error)
{
    ResourceTree tree;
    const DataDirectory directory = ReadDataDirectory(file, image, kResourceDirectory);
    if (directory.address == 0 || directory.size == 0)
        return tree;
    // The tree may spread over the rest of the section that holds its root.
    for (const PeSection& section : image.sections) {
        const uint32_t inFile = std::min(section.virtual_size ? section.virtual_size : section.raw_size,
                                         section.raw_size);
        if (directory.address < section.virtual_address ||
            directory.address - section.virtual_address >= inFile)
            continue;
        const uint32_t skip = directory.address - section.virtual_address;
        SectionView view{file, size_t{section.raw_offset} + skip, size_t{inFile} - skip, directory.address};
        TreeReader reader(file, image, view, error);
        if (!reader.ReadTypes(&tree))
            return std::nullopt;
        return tree;
    }
    *error = "malformed resources: the resource directory lies outside every section";
    return std::nullopt;
}

Bytes WriteResourceTree(const ResourceTree& tree, uint32_t rva)
{
    // Layout: every directory table (breadth first), then the data entries,
    // then the names, then the resources' bytes, each on an 8-byte boundary.
    Writer out;
    auto directoryAt = [&](const auto& directory) {
        const size_t at = out.Reserve(kDirectoryHeaderSize + kDirectoryEntrySize * directory.size());
        const int named = NamedCount(directory);
        out.Put16(at + 12, static_cast<uint16_t>(named));
        out.Put16(at + 14, static_cast<uint16_t>(directory.size() - named));
        return at;
    };
    struct Pending {
        size_t entry;  // the directory entry whose fields wait for an offset
        const ResourceName* name;
    };
    std::vector<Pending> names;
    std::vector<std::pair<size_t, const ResourceData*>> leaves;

    const size_t root = directoryAt(tree);
    std::vector<std::pair<size_t, const ResourceNames*>> typeTables;
    size_t i = 0;
    for (const auto& [type, typeNames] : tree) {
        names.push_back({root + kDirectoryHeaderSize + kDirectoryEntrySize * i++, &type});
        typeTables.push_back({names.back().entry, &typeNames});
    }
    std::vector<std::pair<size_t, const ResourceLanguages*>> nameTables;
    for (const auto& [entry, typeNames] : typeTables) {
        const size_t table = directoryAt(*typeNames);
        out.Put32(entry + 4, kHighBit | static_cast<uint32_t>(table));
        i = 0;
        for (const auto& [name, languages] : *typeNames) {
            names.push_back({table + kDirectoryHeaderSize + kDirectoryEntrySize * i++, &name});
            nameTables.push_back({names.back().entry, &languages});
        }
    }
    for (const auto& [entry, languages] : nameTables) {
        const size_t table = directoryAt(*languages);
        out.Put32(entry + 4, kHighBit | static_cast<uint32_t>(table));
        i = 0;
        for (const auto& [language, data] : *languages) {
            const size_t languageEntry = table + kDirectoryHeaderSize + kDirectoryEntrySize * i++;
            out.Put32(languageEntry, language);
            leaves.push_back({languageEntry, &data});
        }
    }
    std::vector<size_t> dataEntries;
    for (const auto& [entry, data] : leaves) {
        const size_t at = out.Reserve(kDataEntrySize);
        out.Put32(entry + 4, static_cast<uint32_t>(at));
        out.Put32(at + 8, data->codepage);
        dataEntries.push_back(at);
    }
    for (const Pending& pending : names) {
        if (pending.name->IsId()) {
            out.Put32(pending.entry, pending.name->id);
            continue;
        }
        const size_t at = out.Reserve(2 + 2 * pending.name->text.size());
        out.Put16(at, static_cast<uint16_t>(pending.name->text.size()));
        for (size_t c = 0; c < pending.name->text.size(); ++c)
            out.Put16(at + 2 + 2 * c, pending.name->text[c]);
        out.Put32(pending.entry, kHighBit | static_cast<uint32_t>(at));
    }
    for (size_t leaf = 0; leaf < leaves.size(); ++leaf) {
        out.Align(8);
        const Bytes& bytes = leaves[leaf].second->bytes;
        out.Put32(dataEntries[leaf], rva + static_cast<uint32_t>(out.Size()));
        out.Put32(dataEntries[leaf] + 4, static_cast<uint32_t>(bytes.size()));
        out.Append(bytes);
    }
    out.Align(8);
    return out.Take();
}
