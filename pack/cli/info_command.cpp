// sfxpack info: what Windows will show of an installer (its icon, version
// block and requested execution level), whether it is signed, and what its
// package holds.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "pack/cli/commands.h"
#include "pack/cli/help.h"
#include "pack/package/package_locator.h"
#include "pack/package/package_reader.h"
#include "pack/pe/dialog_notice.h"
#include "pack/pe/icon_file.h"
#include "pack/pe/manifest.h"
#include "pack/pe/version_block.h"
#include "pack/system/file_io.h"
#include "resources/resource_ids.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kLargestInstaller = uint64_t{1} << 32;

// The first language's entry of a resource, read; nothing when there is none.
std::optional<Bytes> Resource(FileReader& file, const ResourceTree& tree, uint16_t type, std::optional<uint16_t> id)
{
    const auto names = tree.find(ResourceName::Id(type));
    if (names == tree.end() || names->second.empty())
        return std::nullopt;
    auto languages = id ? names->second.find(ResourceName::Id(*id)) : names->second.begin();
    if (languages == names->second.end() || languages->second.empty())
        return std::nullopt;
    std::string ignored;
    return ReadResourceBytes(file, languages->second.begin()->second, &ignored);
}

// The first bytes of an icon image, enough to tell a PNG's depth: an
// installer's icon may be large, and is read no further.
std::optional<Bytes> IconImageHead(FileReader& file, const ResourceTree& tree, uint16_t id)
{
    const auto icons = tree.find(ResourceName::Id(kIconResource));
    if (icons == tree.end())
        return std::nullopt;
    const auto languages = icons->second.find(ResourceName::Id(id));
    if (languages == icons->second.end() || languages->second.empty())
        return std::nullopt;
    ResourceData head = languages->second.begin()->second;
    if (head.deferred)
        head.deferred_size = std::min<uint32_t>(head.deferred_size, kIconImageStartSize);
    std::string ignored;
    return ReadResourceBytes(file, head, &ignored);
}

void PrintIdentity(FileReader& file, const ResourceLayout& layout)
{
    const ResourceTree& tree = layout.tree;
    std::optional<Bytes> group = Resource(file, tree, kIconGroupResource, IDI_APP);
    if (!group)
        group = Resource(file, tree, kIconGroupResource, std::nullopt);
    const IconImageStart imageHead = [&](uint16_t id) { return IconImageHead(file, tree, id); };
    std::printf("icon: %s\n", group ? DescribeIconGroup(*group, imageHead).c_str() : "none");
    const std::optional<Bytes> block = Resource(file, tree, kVersionResource, kVersionBlockId);
    std::string error;
    const std::optional<VersionNode> version = block ? ReadVersionBlock(*block, &error) : std::nullopt;
    if (!version) {
        std::printf("version: none\n");
    } else {
        if (const auto numbers = FixedVersions(*version))
            std::printf("version: file %s, product %s\n", FormatVersionNumber(numbers->first).c_str(),
                        FormatVersionNumber(numbers->second).c_str());
        for (const auto& [key, value] : VersionStrings(*version))
            std::printf("  %s: %s\n", key.c_str(), value.c_str());
    }
    if (const std::optional<Bytes> dialog = Resource(file, tree, kDialogResource, IDD_PROGRESS))
        if (const std::string line = PublisherLine(*dialog); !line.empty())
            std::printf("notice: %s\n", line.c_str());
    const std::optional<Bytes> manifest = Resource(file, tree, kManifestResource, std::nullopt);
    const std::string level = manifest ? RequestedExecutionLevel(*manifest) : "";
    std::printf("execution level: %s\n",
                !level.empty() ? level.c_str()
                : manifest     ? "none requested in its manifest: Windows guesses from the name"
                               : "none: no manifest, Windows guesses from the name");
    const DataDirectory signature = ReadDataDirectory(layout.head, layout.image, kSecurityDirectory);
    if (signature.size)
        std::printf("signature: present (%u bytes)\n", signature.size);
    else
        std::printf("signature: none\n");
}

}  // namespace

int Info(const Arguments& args)
{
    std::string error;
    const std::optional<ParsedCall> parsed = ParseCall(args, {}, &error);
    if (!parsed)
        return UsageError(error);
    if (parsed->Has("--help"))
        return PrintCommandHelp("info"), 0;
    if (parsed->operands.size() != 1)
        return UsageError("info takes one INSTALLER.exe");
    const fs::path path = FromUtf8(parsed->operands[0]);
    const std::optional<uint64_t> size = InputFileSize(path, kLargestInstaller, &error);
    if (!size)
        return Fail(error);
    FileReader file(path);
    const std::optional<ResourceLayout> layout = file.Ok() ? ReadResourceLayout(file, *size, &error) : std::nullopt;
    if (!layout)
        return Fail(Shown(path) + ": " + (file.Ok() ? error : "cannot open it (" + file.Error() + ")"));
    PrintIdentity(file, *layout);
    const std::optional<InstallerPackage> package = ReadInstallerPackage(path, {}, &error);
    if (!package)
        return Fail(Shown(path) + ": " + error);
    uint64_t contents = 0;
    for (const MergeEntry& entry : package->entries)
        contents += entry.size;
    const std::string launch(package->header.launch_name, strnlen(package->header.launch_name, kMergeNameSize));
    std::printf("package: %s, %s in %llu compressed; launch: %s\n",
                Count(package->entries.size(), "entry", "entries").c_str(), Count(contents, "byte", "bytes").c_str(),
                static_cast<unsigned long long>(package->resource_size), launch.empty() ? "(none)" : launch.c_str());
    return 0;
}
