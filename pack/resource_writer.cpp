#include "pack/resource_writer.h"

#include <algorithm>

namespace {

constexpr uint32_t kResourceSectionFlags = 0x40000040;  // initialised data, readable

// The new section's header, and the headers that describe the image.
void DescribeSection(Bytes& file, const PreparedStub& stub, uint32_t size, uint32_t rawSize)
{
    const size_t header = stub.section_header;
    const PeImage& image = stub.image;
    std::fill_n(file.begin() + static_cast<ptrdiff_t>(header), kSectionHeaderSize, 0);
    std::copy_n(".rsrc", 5, file.begin() + static_cast<ptrdiff_t>(header));
    StoreLe32(file, header + 8, size);
    StoreLe32(file, header + 12, stub.section_rva);
    StoreLe32(file, header + 16, rawSize);
    StoreLe32(file, header + 20, stub.section_offset);
    StoreLe32(file, header + 36, kResourceSectionFlags);

    StoreLe32(file, image.SizeOfImageOffset(), AlignUp(uint64_t{stub.section_rva} + size, image.section_alignment));
    StoreLe32(file, image.InitializedDataOffset(),
              LoadLe32(file, image.InitializedDataOffset()) - stub.replaced_raw_size + rawSize);
    StoreLe32(file, image.DirectoryEntryOffset(kResourceDirectory), stub.section_rva);
    StoreLe32(file, image.DirectoryEntryOffset(kResourceDirectory) + 4, size);
    StoreLe32(file, image.ChecksumOffset(), ComputePeChecksum(file, image.ChecksumOffset()));
}

}  // namespace

std::optional<Bytes> EmbedPackage(const PreparedStub& stub, const Bytes& package, std::string* error)
{
    ResourceTree tree = stub.resources;
    tree[kPackageType][ResourceName::Id(kPackageId)] = {{kPackageLanguage, {package, 0}}};
    const Bytes section = WriteResourceTree(tree, stub.section_rva);
    if (uint64_t{stub.section_rva} + section.size() + stub.image.section_alignment > UINT32_MAX) {
        *error = "the installer's image would grow past 4 GiB";
        return std::nullopt;
    }
    const uint32_t rawSize = AlignUp(section.size(), stub.image.file_alignment);
    Bytes file = stub.file;
    file.resize(stub.section_offset);
    file.insert(file.end(), section.begin(), section.end());
    file.resize(uint64_t{stub.section_offset} + rawSize, 0);
    DescribeSection(file, stub, static_cast<uint32_t>(section.size()), rawSize);
    return file;
}

std::optional<ResourceWriteResult> WritePackageResource(const Bytes& stub, const Bytes& package, std::string* error)
{
    const std::optional<PreparedStub> prepared = PrepareStub(stub, error);
    if (!prepared)
        return std::nullopt;
    std::optional<Bytes> file = EmbedPackage(*prepared, package, error);
    if (!file)
        return std::nullopt;
    return ResourceWriteResult{std::move(*file), prepared->warnings};
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
