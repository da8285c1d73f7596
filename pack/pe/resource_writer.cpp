#include "pack/pe/resource_writer.h"

#include <algorithm>

#include "pack/system/file_io.h"

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

ResourceTree InstallerResources(const PreparedStub& stub, uint64_t packageSize)
{
    ResourceTree tree = stub.resources;
    ResourceData package;
    package.deferred = true;
    package.deferred_size = static_cast<uint32_t>(packageSize);
    tree[kPackageType][ResourceName::Id(kPackageId)] = {{kPackageLanguage, package}};
    return tree;
}

std::optional<std::string> CheckInstallerResources(const PreparedStub& stub)
{
    // The package takes the place of any the stub had, in all its languages.
    const ResourceTree tree = InstallerResources(stub, 0);
    if (const size_t count = CountResources(tree); count > kMostResources)
        return "the installer would hold " + std::to_string(count) + " resources with its package, and its " +
               "readers take at most " + std::to_string(kMostResources);
    if (const std::optional<std::string> overfull = OverfullDirectory(tree))
        return "the installer would hold more entries in one directory than its " + std::to_string(kMostDirectoryEntries) +
               " can count: " + *overfull;
    return std::nullopt;
}

std::optional<InstallerLayout> LayOutInstaller(const PreparedStub& stub, uint64_t packageSize, std::string* error)
{
    if (std::optional<std::string> wrong = CheckInstallerResources(stub)) {
        *error = std::move(*wrong);
        return std::nullopt;
    }
    const ResourceTree tree = InstallerResources(stub, packageSize);
    const Bytes head = WriteResourceTree(tree, stub.section_rva);
    const uint64_t size = head.size() + packageSize;
    if (packageSize > UINT32_MAX || stub.section_rva + size + stub.image.section_alignment > UINT32_MAX) {
        *error = "the installer's image would grow past 4 GiB";
        return std::nullopt;
    }
    const uint32_t rawSize = AlignUp(size, stub.image.file_alignment);
    InstallerLayout layout;
    layout.head = stub.file;
    layout.head.resize(stub.section_offset);
    layout.head.insert(layout.head.end(), head.begin(), head.end());
    layout.tail.assign(rawSize - size, 0);
    if (!stub.symbols.empty()) {
        // The symbol and string tables follow the new section, where nothing moves them again.
        StoreLe32(layout.head, stub.image.SymbolTablePointerOffset(), stub.section_offset + rawSize);
        StoreLe32(layout.head, stub.image.SymbolTablePointerOffset() + 4, stub.symbol_count);
        layout.tail.insert(layout.tail.end(), stub.symbols.begin(), stub.symbols.end());
    }
    layout.checksum_offset = stub.image.ChecksumOffset();
    DescribeSection(layout.head, stub, static_cast<uint32_t>(size), rawSize);
    return layout;
}

std::optional<Bytes> EmbedPackage(const PreparedStub& stub, const Bytes& package, std::string* error)
{
    std::optional<InstallerLayout> layout = LayOutInstaller(stub, package.size(), error);
    if (!layout)
        return std::nullopt;
    Bytes file = std::move(layout->head);
    file.insert(file.end(), package.begin(), package.end());
    file.insert(file.end(), layout->tail.begin(), layout->tail.end());
    StoreLe32(file, layout->checksum_offset, ComputePeChecksum(file, layout->checksum_offset));
    return file;
}

namespace {

constexpr size_t kChunk = size_t{1} << 20;

// The checksum of the installer of `layout` around the package in `package`,
// read a chunk at a time; nothing when the package is not the size it was.
std::optional<uint32_t> SumInstaller(const InstallerLayout& layout, const std::filesystem::path& package,
                                     uint64_t packageSize)
{
    PeChecksum checksum(layout.checksum_offset);
    checksum.Add(layout.head.data(), layout.head.size());
    FileReader in(package);
    std::vector<uint8_t> chunk(kChunk);
    uint64_t read = 0;
    for (size_t got; (got = in.ReadSome(chunk.data(), chunk.size())) > 0; read += got)
        checksum.Add(chunk.data(), got);
    if (!in.Ok() || read != packageSize)
        return std::nullopt;
    checksum.Add(layout.tail.data(), layout.tail.size());
    return checksum.Finish();
}

// Writes the installer front to back, its checksum in place from the start,
// so that a stream that cannot seek (a pipe) takes it as a file does. The
// package is summed again on the way: a package that changed between the
// two readings would give a file whose checksum is not its own.
bool WriteInstallerBytes(InstallerLayout& layout, const std::filesystem::path& package, uint64_t packageSize,
                         FileWriter& out, const std::string& shown, std::string* error)
{
    const std::optional<uint32_t> sum = SumInstaller(layout, package, packageSize);
    if (!sum) {
        *error = shown + ": cannot write it (" + Shown(package) + " could not be read)";
        return false;
    }
    StoreLe32(layout.head, layout.checksum_offset, *sum);
    PeChecksum again(layout.checksum_offset);
    const auto write = [&](const uint8_t* bytes, size_t count) {
        again.Add(bytes, count);
        return out.Write(bytes, count);
    };
    FileReader in(package);
    std::vector<uint8_t> chunk(kChunk);
    uint64_t copied = 0;
    bool written = in.Ok() && write(layout.head.data(), layout.head.size());
    // The package's bytes as they were measured, and no more: a file that
    // grows meanwhile (an output appended to it) is not followed.
    for (size_t got; written && copied < packageSize &&
                     (got = in.ReadSome(chunk.data(), static_cast<size_t>(std::min<uint64_t>(
                                                         chunk.size(), packageSize - copied)))) > 0;
         copied += got)
        written = write(chunk.data(), got);
    written = written && write(layout.tail.data(), layout.tail.size());
    if (!written || !out.Close()) {
        const std::string cause = out.Error().empty() ? Shown(package) + " could not be read back" : out.Error();
        *error = shown + ": cannot write it (" + cause + ")";
        return false;
    }
    if (copied != packageSize || again.Finish() != *sum) {
        *error = shown + ": not written whole: " + Shown(package) +
                 (copied != packageSize ? " could not be read back" : " changed while it was read");
        return false;
    }
    return true;
}

std::optional<InstallerLayout> LayOutAround(const PreparedStub& stub, const std::filesystem::path& package,
                                            uint64_t* packageSize, std::string* error)
{
    std::error_code failure;
    *packageSize = std::filesystem::file_size(package, failure);
    if (failure) {
        *error = Shown(package) + ": cannot read its size (" + failure.message() + ")";
        return std::nullopt;
    }
    return LayOutInstaller(stub, *packageSize, error);
}

}  // namespace

bool WriteInstaller(const PreparedStub& stub, const std::filesystem::path& package, const std::filesystem::path& output,
                    std::string* error)
{
    uint64_t packageSize = 0;
    std::optional<InstallerLayout> layout = LayOutAround(stub, package, &packageSize, error);
    if (!layout)
        return false;
    TemporaryFile temporary(output);
    if (!temporary.Ok()) {
        *error = temporary.Error();
        return false;
    }
    FileWriter out(temporary);
    return WriteInstallerBytes(*layout, package, packageSize, out, Shown(output), error) &&
           temporary.RenameToTarget(/*executable=*/true, error);
}

bool WriteInstallerToStream(const PreparedStub& stub, const std::filesystem::path& package, std::FILE* stream,
                            const std::string& shown, std::string* error)
{
    uint64_t packageSize = 0;
    std::optional<InstallerLayout> layout = LayOutAround(stub, package, &packageSize, error);
    if (!layout)
        return false;
    FileWriter out(stream);
    return WriteInstallerBytes(*layout, package, packageSize, out, shown, error);
}

std::optional<ResourceWriteResult> WritePackageResource(const Bytes& stub, const Bytes& package, std::string* error)
{
    const std::optional<PreparedStub> prepared = PrepareStub(stub, StubOptions{}, error);
    if (!prepared)
        return std::nullopt;
    std::optional<Bytes> file = EmbedPackage(*prepared, package, error);
    if (!file)
        return std::nullopt;
    return ResourceWriteResult{std::move(*file), prepared->warnings};
}
