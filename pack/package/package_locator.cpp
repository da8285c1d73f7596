#include "pack/package/package_locator.h"

#include <algorithm>

#include "pack/pe/resource_writer.h"

namespace {

// Enough for the headers and section table of any program.
constexpr uint64_t kHeadSize = 1 << 20;
// Enough for the resource tables, which come before the resources' bytes.
constexpr uint64_t kResourceTablesSize = 4 << 20;

// The one package the stub's lookup finds. Windows picks among languages by
// its own order (the neutral one first, then the user's): with more than one,
// what a reader shows may not be what the installer installs.
const ResourceData* PackageIn(const ResourceTree& tree, std::string* error)
{
    const auto type = tree.find(kPackageType);
    if (type != tree.end()) {
        const auto name = type->second.find(ResourceName::Id(kPackageId));
        if (name != type->second.end() && name->second.size() == 1)
            return &name->second.begin()->second;
        if (name != type->second.end() && name->second.size() > 1) {
            std::string languages;
            for (const auto& [language, data] : name->second)
                languages += (languages.empty() ? "" : ", ") + std::to_string(language);
            *error = "the package SETUP 2000 is there in " + std::to_string(name->second.size()) + " languages (" +
                     languages + "), and the installer takes whichever Windows finds first: not read";
            return nullptr;
        }
    }
    *error = "no package: the file has no resource SETUP 2000";
    return nullptr;
}

std::optional<Bytes> ReadRange(FileReader& file, uint64_t offset, uint64_t size, std::string* error)
{
    Bytes bytes(static_cast<size_t>(size));
    if (!file.ReadAt(offset, bytes.data(), bytes.size())) {
        *error = "cannot read it";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::optional<Bytes> FindPackageResource(const Bytes& file, std::string* error)
{
    const std::optional<PeImage> image = ParsePeImage(file, error);
    if (!image)
        return std::nullopt;
    const std::optional<ResourceTree> tree = ReadResourceTree(file, *image, error);
    if (!tree)
        return std::nullopt;
    const ResourceData* package = PackageIn(*tree, error);
    if (!package)
        return std::nullopt;
    return package->bytes;
}

std::optional<ResourceLayout> ReadResourceLayout(FileReader& file, uint64_t fileSize, std::string* error)
{
    std::optional<Bytes> head = ReadRange(file, 0, std::min(fileSize, kHeadSize), error);
    std::optional<PeImage> image = head ? ParsePeImage(*head, fileSize, error) : std::nullopt;
    if (!image)
        return std::nullopt;
    const DataDirectory resources = ReadDataDirectory(*head, *image, kResourceDirectory);
    if (resources.address == 0 || resources.size == 0)
        return ResourceLayout{std::move(*head), std::move(*image), {}};
    const std::optional<FileRange> directory = ResourceDirectoryRange(*image, fileSize, resources.address, error);
    if (!directory)
        return std::nullopt;
    const std::optional<Bytes> tables =
        ReadRange(file, directory->offset, std::min(directory->size, kResourceTablesSize), error);
    std::optional<ResourceTree> tree =
        tables ? ReadResourceTreeShape(*tables, directory->offset, fileSize, *image, *directory, error) : std::nullopt;
    if (!tree)
        return std::nullopt;
    return ResourceLayout{std::move(*head), std::move(*image), std::move(*tree)};
}

std::optional<Bytes> ReadResourceBytes(FileReader& file, const ResourceData& data, std::string* error)
{
    if (!data.deferred)
        return data.bytes;
    return ReadRange(file, data.file_offset, data.deferred_size, error);
}

std::optional<FileRange> LocatePackage(FileReader& file, uint64_t fileSize, std::string* error)
{
    const std::optional<ResourceLayout> layout = ReadResourceLayout(file, fileSize, error);
    const ResourceData* package = layout ? PackageIn(layout->tree, error) : nullptr;
    if (!package)
        return std::nullopt;
    return FileRange{package->file_offset, package->deferred ? package->deferred_size : package->bytes.size()};
}
