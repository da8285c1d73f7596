#include "pack/pe/resource_tree.h"

#include <algorithm>
#include <set>
#include <type_traits>
#include <vector>

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;

// Bytes of a file: the whole of it, or a window that starts at `offset`.
struct FileBytes {
    const Bytes& bytes;
    uint64_t offset;     // of bytes[0] in the file
    uint64_t file_size;
    bool whole() const { return offset == 0 && bytes.size() == file_size; }
};

struct SectionView {
    size_t start;  // the resource directory's index in the bytes
    size_t size;   // bytes from there to the end of its section's data, or of the window
};

class TreeReader {
public:
    TreeReader(FileBytes file, const PeImage& image, SectionView view, std::string* error)
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
        // Read once each, the directories bound the work by the section's
        // size; a tree whose directories share a subdirectory would have it
        // read once for every entry that points at it.
        if (!directories_.insert(offset).second)
            return Fail("a directory reached twice");
        const size_t count = size_t{Load16(offset + 12)} + Load16(offset + 14);
        if (!Fits(offset + kDirectoryHeaderSize, count * kDirectoryEntrySize))
            return Fail("a directory's entries lie outside the resource section");
        ++depth_;
        // Windows finds one of two entries of a name, and which is its own
        // affair: a reader that took the other would describe another file.
        std::set<ResourceName> names;
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = offset + kDirectoryHeaderSize + i * kDirectoryEntrySize;
            ResourceName name;
            if (!ReadName(Load32(entry), &name))
                return false;
            path_.push_back(DescribeResourceName(name));
            if (!names.insert(name).second)
                return Fail(Path() + " is listed twice");
            const uint32_t target = Load32(entry + 4);
            if (((target & kHighBit) != 0) == leaves)
                return Fail(leaves ? "a directory where data belongs" : "data where a directory belongs");
            if (!visit(name, target & ~kHighBit))
                return false;
            path_.pop_back();
        }
        --depth_;
        return true;
    }

    // The names down to the entry being read: "SETUP 2000 1033".
    std::string Path() const
    {
        std::string path;
        for (const std::string& name : path_)
            path += (path.empty() ? "" : " ") + name;
        return path;
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
        nameBytes_ += 2 * size_t{length};
        if (nameBytes_ > 2 * view_.size)
            return Fail("names that overlap far too much");
        name->text.clear();
        for (uint16_t i = 0; i < length; ++i)
            name->text += static_cast<char16_t>(Load16(at + 2 + 2 * size_t{i}));
        return true;
    }

    bool ReadData(uint32_t offset, ResourceData* data)
    {
        if (++leaves_ > kMostResources)
            return Fail("too many resources");
        if (!Fits(offset, kDataEntrySize))
            return Fail("a data entry lies outside the resource section");
        const uint32_t rva = Load32(offset), size = Load32(offset + 4);
        const std::optional<size_t> at = RvaToFileOffset(image_, file_.file_size, rva, size);
        if (!at)
            return Fail("a resource's bytes lie outside the file");
        data->codepage = Load32(offset + 8);
        data->file_offset = *at;
        if (!file_.whole()) {  // where the bytes are is enough
            data->deferred = true;
            data->deferred_size = size;
            return true;
        }
        copied_ += size;
        if (copied_ > 16 * file_.file_size)
            return Fail("resources that overlap far too much");
        data->bytes.assign(file_.bytes.begin() + static_cast<ptrdiff_t>(*at),
                           file_.bytes.begin() + static_cast<ptrdiff_t>(*at + size));
        return true;
    }

    bool Fits(size_t offset, size_t count) const { return offset <= view_.size && count <= view_.size - offset; }
    uint16_t Load16(size_t offset) const { return LoadLe16(file_.bytes, view_.start + offset); }
    uint32_t Load32(size_t offset) const { return LoadLe32(file_.bytes, view_.start + offset); }
    bool Fail(const std::string& why)
    {
        *error_ = "malformed resources: " + why;
        return false;
    }

    FileBytes file_;
    const PeImage& image_;
    SectionView view_;
    std::string* error_;
    int depth_ = 0;
    size_t leaves_ = 0;
    uint64_t copied_ = 0;
    uint64_t nameBytes_ = 0;
    std::set<size_t> directories_;  // the offsets of those read so far
    std::vector<std::string> path_;  // the names of the entries being read, from the root
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

size_t CountResources(const ResourceTree& tree)
{
    size_t count = 0;
    for (const auto& [type, names] : tree)
        for (const auto& [name, languages] : names)
            count += languages.size();
    return count;
}

std::optional<std::string> OverfullDirectory(const ResourceTree& tree)
{
    const auto overfull = [](const auto& directory) {
        const size_t named = static_cast<size_t>(NamedCount(directory));
        return named > kMostDirectoryEntries || directory.size() - named > kMostDirectoryEntries;
    };
    if (overfull(tree))
        return "the types of resources (" + std::to_string(tree.size()) + ")";
    for (const auto& [type, names] : tree) {
        if (overfull(names))
            return "the resources of type " + DescribeResourceName(type) + " (" + std::to_string(names.size()) + ")";
        for (const auto& [name, languages] : names)
            if (overfull(languages))
                return "the languages of resource " + DescribeResourceName(type) + " " + DescribeResourceName(name) +
                       " (" + std::to_string(languages.size()) + ")";
    }
    return std::nullopt;
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

std::optional<FileRange> ResourceDirectoryRange(const PeImage& image, uint64_t fileSize, uint32_t rva,
                                                std::string* error)
{
    // The tree may spread over the rest of the section that holds its root.
    for (const PeSection& section : image.sections) {
        const uint32_t inFile = std::min(section.virtual_size ? section.virtual_size : section.raw_size,
                                         section.raw_size);
        if (rva < section.virtual_address || rva - section.virtual_address >= inFile)
            continue;
        const uint32_t skip = rva - section.virtual_address;
        if (uint64_t{section.raw_offset} + inFile > fileSize)
            break;
        return FileRange{uint64_t{section.raw_offset} + skip, inFile - skip};
    }
    *error = "malformed resources: the resource directory lies outside every section";
    return std::nullopt;
}

std::optional<ResourceTree> ReadResourceTree(const Bytes& file, const PeImage& image, std::string* error)
{
    const DataDirectory directory = ReadDataDirectory(file, image, kResourceDirectory);
    if (directory.address == 0 || directory.size == 0)
        return ResourceTree{};
    const std::optional<FileRange> range = ResourceDirectoryRange(image, file.size(), directory.address, error);
    if (!range)
        return std::nullopt;
    return ReadResourceTreeShape(file, 0, file.size(), image, *range, error);
}

std::optional<ResourceTree> ReadResourceTreeShape(const Bytes& window, uint64_t windowOffset, uint64_t fileSize,
                                                  const PeImage& image, FileRange directory, std::string* error)
{
    const uint64_t start = directory.offset - windowOffset;
    const uint64_t size = std::min<uint64_t>(directory.size, window.size() - start);
    TreeReader reader(FileBytes{window, windowOffset, fileSize}, image,
                      SectionView{static_cast<size_t>(start), static_cast<size_t>(size)}, error);
    ResourceTree tree;
    if (!reader.ReadTypes(&tree))
        return std::nullopt;
    return tree;
}

namespace {

// Lays a tree out as a resource section: every directory table (breadth
// first), then the data entries, then the names, then the resources' bytes,
// each on an 8-byte boundary. A deferred resource's bytes come last, after
// what this writes.
class TreeWriter {
public:
    explicit TreeWriter(uint32_t rva) : rva_(rva) {}

    void WriteDirectories(const ResourceTree& tree)
    {
        const size_t root = Directory(tree);
        std::vector<std::pair<size_t, const ResourceNames*>> typeTables;
        Entries(root, tree, [&](size_t entry, const ResourceNames& names) { typeTables.push_back({entry, &names}); });
        std::vector<std::pair<size_t, const ResourceLanguages*>> nameTables;
        for (const auto& [entry, names] : typeTables) {
            const size_t table = Subdirectory(entry, *names);
            Entries(table, *names,
                    [&](size_t at, const ResourceLanguages& languages) { nameTables.push_back({at, &languages}); });
        }
        for (const auto& [entry, languages] : nameTables) {
            const size_t table = Subdirectory(entry, *languages);
            size_t i = 0;
            for (const auto& [language, data] : *languages) {
                const size_t at = table + kDirectoryHeaderSize + kDirectoryEntrySize * i++;
                out_.Put32(at, language);
                leaves_.push_back({at, &data});
            }
        }
    }

    void WriteDataEntries()
    {
        for (const auto& [entry, data] : leaves_) {
            const size_t at = out_.Reserve(kDataEntrySize);
            out_.Put32(entry + 4, static_cast<uint32_t>(at));
            out_.Put32(at + 8, data->codepage);
            dataEntries_.push_back(at);
        }
    }

    void WriteNames()
    {
        for (const auto& [entry, name] : names_) {
            if (name->IsId()) {
                out_.Put32(entry, name->id);
                continue;
            }
            const size_t at = out_.Reserve(2 + 2 * name->text.size());
            out_.Put16(at, static_cast<uint16_t>(name->text.size()));
            for (size_t c = 0; c < name->text.size(); ++c)
                out_.Put16(at + 2 + 2 * c, name->text[c]);
            out_.Put32(entry, kHighBit | static_cast<uint32_t>(at));
        }
    }

    void WriteData()
    {
        size_t deferred = leaves_.size();
        for (size_t leaf = 0; leaf < leaves_.size(); ++leaf) {
            if (leaves_[leaf].second->deferred)
                deferred = leaf;
            else
                Data(leaf, leaves_[leaf].second->bytes.size(), &leaves_[leaf].second->bytes);
        }
        if (deferred < leaves_.size())
            Data(deferred, leaves_[deferred].second->deferred_size, nullptr);
        else
            out_.Align(8);
    }

    Bytes Take() { return out_.Take(); }

private:
    template <typename Table>
    size_t Directory(const Table& table)
    {
        const size_t at = out_.Reserve(kDirectoryHeaderSize + kDirectoryEntrySize * table.size());
        const int named = NamedCount(table);
        out_.Put16(at + 12, static_cast<uint16_t>(named));
        out_.Put16(at + 14, static_cast<uint16_t>(table.size() - named));
        return at;
    }

    template <typename Table>
    size_t Subdirectory(size_t entry, const Table& table)
    {
        const size_t at = Directory(table);
        out_.Put32(entry + 4, kHighBit | static_cast<uint32_t>(at));
        return at;
    }

    // Notes each entry's name for later, and hands its place to `visit`.
    template <typename Table, typename Visit>
    void Entries(size_t table, const Table& items, Visit visit)
    {
        size_t i = 0;
        for (const auto& [name, below] : items) {
            const size_t entry = table + kDirectoryHeaderSize + kDirectoryEntrySize * i++;
            names_.push_back({entry, &name});
            visit(entry, below);
        }
    }

    void Data(size_t leaf, size_t size, const Bytes* bytes)
    {
        out_.Align(8);
        out_.Put32(dataEntries_[leaf], rva_ + static_cast<uint32_t>(out_.Size()));
        out_.Put32(dataEntries_[leaf] + 4, static_cast<uint32_t>(size));
        if (bytes) {
            out_.Append(*bytes);
            out_.Align(8);
        }
    }

    uint32_t rva_;
    Writer out_;
    std::vector<std::pair<size_t, const ResourceName*>> names_;  // directory entries waiting for a name
    std::vector<std::pair<size_t, const ResourceData*>> leaves_;  // language entries waiting for data
    std::vector<size_t> dataEntries_;
};

}  // namespace

Bytes WriteResourceTree(const ResourceTree& tree, uint32_t rva)
{
    TreeWriter writer(rva);
    writer.WriteDirectories(tree);
    writer.WriteDataEntries();
    writer.WriteNames();
    writer.WriteData();
    return writer.Take();
}
