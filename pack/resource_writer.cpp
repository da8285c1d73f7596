#include "pack/resource_writer.h"

#include <algorithm>

namespace {

constexpr uint32_t kResourceSectionFlags = 0x40000040;  // initialised data, readable

uint32_t AlignUp(uint64_t value, uint32_t alignment)
{
    return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

uint64_t EndInMemory(const PeSection& section)
{
    return uint64_t{section.virtual_address} + std::max(section.virtual_size, section.raw_size);
}

// The section that ends highest in memory; of several, the last in the table.
const PeSection* LastSection(const PeImage& image)
{
    const PeSection* last = nullptr;
    for (const PeSection& section : image.sections)
        if (!last || EndInMemory(section) >= EndInMemory(*last))
            last = &section;
    return last;
}

uint64_t EndOfSectionData(const PeImage& image)
{
    uint64_t end = image.size_of_headers;
    for (const PeSection& section : image.sections)
        if (section.raw_size)
            end = std::max<uint64_t>(end, uint64_t{section.raw_offset} + section.raw_size);
    return end;
}

}  // namespace

namespace {

// Where the new resource section goes: its header's offset, its address and
// its offset in the file.
struct Placement {
    size_t header;
    uint32_t rva;
    uint32_t raw_offset;
    uint32_t replaced_raw_size;  // of the section it replaces, or 0
};

// A signature covers the bytes being changed, so it could only turn invalid:
// it is cut off, with a warning.
bool StripSignature(Bytes& file, const PeImage& image, ResourceWriteResult& result, std::string* error)
{
    const DataDirectory signature = ReadDataDirectory(file, image, kSecurityDirectory);
    if (signature.size == 0)
        return true;
    if (uint64_t{signature.address} + signature.size != file.size() || signature.address < EndOfSectionData(image)) {
        *error = "the stub's signature is not at the end of the file";
        return false;
    }
    file.resize(signature.address);
    StoreLe32(file, image.DirectoryEntryOffset(kSecurityDirectory), 0);
    StoreLe32(file, image.DirectoryEntryOffset(kSecurityDirectory) + 4, 0);
    result.warnings.push_back("the stub's Authenticode signature was removed: it would no longer be valid "
                              "(sign the installer after packing)");
    return true;
}

// A resource section that is the last section is rewritten in place;
// otherwise the new one follows the last section and the old one stays,
// unused, under another name.
std::optional<Placement> PlaceResourceSection(Bytes& file, const PeImage& image, std::string* error)
{
    const DataDirectory resources = ReadDataDirectory(file, image, kResourceDirectory);
    const PeSection* last = LastSection(image);
    const uint64_t sectionsEnd = EndOfSectionData(image);
    if (last->name == ".rsrc" && resources.size != 0 && resources.address == last->virtual_address &&
        uint64_t{last->raw_offset} + last->raw_size == sectionsEnd)
        return Placement{last->header_offset, last->virtual_address, last->raw_offset, last->raw_size};

    const size_t header = image.section_table_offset + kSectionHeaderSize * image.sections.size();
    uint64_t firstData = image.size_of_headers;  // where the first section's bytes begin
    for (const PeSection& section : image.sections)
        if (section.raw_size)
            firstData = std::min<uint64_t>(firstData, section.raw_offset);
    if (header + kSectionHeaderSize > firstData) {
        *error = "the stub's headers have no room for another section";
        return std::nullopt;
    }
    for (const PeSection& section : image.sections)
        if (section.name == ".rsrc" && resources.address >= section.virtual_address &&
            resources.address < section.virtual_address + std::max(section.virtual_size, section.raw_size))
            std::copy_n(".rsrcold", 8, file.begin() + static_cast<ptrdiff_t>(section.header_offset));
    StoreLe16(file, image.coff_header_offset + 2, static_cast<uint16_t>(image.sections.size() + 1));
    return Placement{header,
                     AlignUp(std::max<uint64_t>(EndInMemory(*last), image.size_of_headers), image.section_alignment),
                     AlignUp(sectionsEnd, image.file_alignment), 0};
}

}  // namespace

std::optional<ResourceWriteResult> WritePackageResource(const Bytes& stub, const Bytes& package, std::string* error)
{
    std::optional<PeImage> image = ParsePeImage(stub, error);
    if (!image)
        return std::nullopt;
    if (image->sections.empty() || image->number_of_directories <= kSecurityDirectory) {
        *error = "not a PE file: no sections or too few data directories";
        return std::nullopt;
    }
    if (image->symbol_table_pointer != 0) {
        *error = "the stub carries a COFF symbol table after its sections; strip it first";
        return std::nullopt;
    }
    std::optional<ResourceTree> tree = ReadResourceTree(stub, *image, error);
    if (!tree)
        return std::nullopt;

    ResourceWriteResult result;
    Bytes file = stub;
    if (!StripSignature(file, *image, result, error))
        return std::nullopt;
    // Anything else after the sections would be lost or misplaced.
    if (file.size() > AlignUp(EndOfSectionData(*image), image->file_alignment)) {
        *error = "the stub has data after its last section";
        return std::nullopt;
    }
    const std::optional<Placement> place = PlaceResourceSection(file, *image, error);
    if (!place)
        return std::nullopt;

    (*tree)[kPackageType][ResourceName::Id(kPackageId)] = {{kPackageLanguage, {package, 0}}};
    const Bytes section = WriteResourceTree(*tree, place->rva);
    if (uint64_t{place->rva} + section.size() + image->section_alignment > UINT32_MAX) {
        *error = "the stub's image would grow past 4 GiB";
        return std::nullopt;
    }
    const uint32_t rawSize = AlignUp(section.size(), image->file_alignment);
    file.resize(place->raw_offset);
    file.insert(file.end(), section.begin(), section.end());
    file.resize(uint64_t{place->raw_offset} + rawSize, 0);

    const size_t header = place->header;
    std::fill_n(file.begin() + static_cast<ptrdiff_t>(header), kSectionHeaderSize, 0);
    std::copy_n(".rsrc", 5, file.begin() + static_cast<ptrdiff_t>(header));
    StoreLe32(file, header + 8, static_cast<uint32_t>(section.size()));
    StoreLe32(file, header + 12, place->rva);
    StoreLe32(file, header + 16, rawSize);
    StoreLe32(file, header + 20, place->raw_offset);
    StoreLe32(file, header + 36, kResourceSectionFlags);

    StoreLe32(file, image->SizeOfImageOffset(),
              AlignUp(uint64_t{place->rva} + section.size(), image->section_alignment));
    StoreLe32(file, image->InitializedDataOffset(),
              LoadLe32(file, image->InitializedDataOffset()) - place->replaced_raw_size + rawSize);
    StoreLe32(file, image->DirectoryEntryOffset(kResourceDirectory), place->rva);
    StoreLe32(file, image->DirectoryEntryOffset(kResourceDirectory) + 4, static_cast<uint32_t>(section.size()));
    StoreLe32(file, image->ChecksumOffset(), ComputePeChecksum(file, image->ChecksumOffset()));

    result.file = std::move(file);
    return result;
}

std::optional<Bytes> FindPackageResource(const Bytes& file, std::string* error)
{
    std::optional<PeImage> image = ParsePeImage(file, error);
    if (!image)
        return std::nullopt;
    std::optional<ResourceTree> tree = ReadResourceTree(file, *image, error);
    if (!tree)
        return std::nullopt;
    const auto type = tree->find(kPackageType);
    if (type != tree->end()) {
        const auto name = type->second.find(ResourceName::Id(kPackageId));
        if (name != type->second.end() && !name->second.empty()) {
            const auto english = name->second.find(kPackageLanguage);
            return (english != name->second.end() ? english : name->second.begin())->second.bytes;
        }
    }
    *error = "no package: the file has no resource SETUP 2000";
    return std::nullopt;
}
