#include "pack/cli/identity_report.h"

#include <algorithm>
#include <optional>

#include "pack/cli/printable_text.h"
#include "pack/identity/dialog_notice.h"
#include "pack/identity/icon_file.h"
#include "pack/identity/manifest.h"
#include "pack/identity/version_block.h"
#include "resources/resource_ids.h"

namespace {

// The first language's entry of a resource (with no id, of the first
// resource of its type); nothing when there is none.
const ResourceData* FirstLanguage(const ResourceTree& tree, uint16_t type, std::optional<uint16_t> id)
{
    const auto names = tree.find(ResourceName::Id(type));
    if (names == tree.end() || names->second.empty())
        return nullptr;
    auto languages = id ? names->second.find(ResourceName::Id(*id)) : names->second.begin();
    if (languages == names->second.end() || languages->second.empty())
        return nullptr;
    return &languages->second.begin()->second;
}

// That entry, read; nothing when there is none.
std::optional<Bytes> Resource(FileReader& file, const ResourceTree& tree, uint16_t type, std::optional<uint16_t> id)
{
    const ResourceData* data = FirstLanguage(tree, type, id);
    std::string ignored;
    return data ? ReadResourceBytes(file, *data, &ignored) : std::nullopt;
}

// The first bytes of an icon image, enough to tell a PNG's depth: an
// installer's icon may be large, and is read no further.
std::optional<Bytes> IconImageHead(FileReader& file, const ResourceTree& tree, uint16_t id)
{
    const ResourceData* data = FirstLanguage(tree, kIconResource, id);
    if (!data)
        return std::nullopt;
    ResourceData head = *data;
    if (head.deferred)
        head.deferred_size = std::min<uint32_t>(head.deferred_size, kIconImageStartSize);
    std::string ignored;
    return ReadResourceBytes(file, head, &ignored);
}

std::string Line(const std::string& name, const std::string& value)
{
    return name + ": " + Printable(value) + "\n";
}

std::string DescribeVersion(FileReader& file, const ResourceTree& tree)
{
    const std::optional<Bytes> block = Resource(file, tree, kVersionResource, kVersionBlockId);
    std::string error;
    const std::optional<VersionNode> version = block ? ReadVersionBlock(*block, &error) : std::nullopt;
    if (!version)
        return Line("version", "none");
    std::string lines;
    if (const auto numbers = FixedVersions(*version))
        lines += Line("version",
                      "file " + FormatVersionNumber(numbers->first) + ", product " + FormatVersionNumber(numbers->second));
    for (const auto& [key, value] : VersionStrings(*version))
        lines += Line("  " + Printable(key), value);
    return lines;
}

// Windows reads a program's manifest from resource 1 alone; any other manifest
// is named, since a reader may take it for the one that counts.
std::string DescribeExecutionLevel(FileReader& file, const ResourceTree& tree)
{
    const std::optional<Bytes> manifest = Resource(file, tree, kManifestResource, kProcessManifestId);
    std::string others;
    size_t languages1 = 0;  // of manifest 1
    if (const auto manifests = tree.find(ResourceName::Id(kManifestResource)); manifests != tree.end())
        for (const auto& [name, languages] : manifests->second) {
            if (name != ResourceName::Id(kProcessManifestId))
                others += (others.empty() ? "" : ", ") + DescribeResourceName(name);
            else
                languages1 = languages.size();
        }
    // Which of them Windows reads is its lookup's affair.
    if (languages1 > 1)
        return Line("execution level", "unknown: manifest 1 is there in " + std::to_string(languages1) +
                                           " languages, and Windows reads whichever its lookup finds first");
    const std::string unread =
        others.empty() ? "" : "; Windows does not read the file's other manifests (" + others + ") for a program";
    if (manifest)
        if (const std::optional<std::string> wrong = CheckManifest(*manifest))
            return Line("execution level", "unknown: its manifest is not one that Windows reads (" + *wrong +
                                               "), and Windows may refuse to start it" + unread);
    const std::string level = manifest ? RequestedExecutionLevel(*manifest) : "";
    return Line("execution level", (!level.empty() ? level
                                    : manifest     ? "none requested in its manifest: Windows guesses from the name"
                                                   : "none: no manifest, Windows guesses from the name") +
                                       unread);
}

// Whether a signature is sound takes its certificates and digest, which
// signing tools check; here it is only seen to be there.
std::string DescribeSignature(const ResourceLayout& layout)
{
    const DataDirectory signature = ReadDataDirectory(layout.head, layout.image, kSecurityDirectory);
    if (!signature.size)
        return Line("signature", "none");
    return Line("signature", "present (" + std::to_string(signature.size) +
                                 " bytes, not checked: osslsigncode verify or signtool verify checks it)");
}

}  // namespace

std::string DescribeIdentity(FileReader& file, const ResourceLayout& layout)
{
    const ResourceTree& tree = layout.tree;
    std::optional<Bytes> group = Resource(file, tree, kIconGroupResource, IDI_APP);
    if (!group)
        group = Resource(file, tree, kIconGroupResource, std::nullopt);
    const IconImageStart imageHead = [&](uint16_t id) { return IconImageHead(file, tree, id); };
    std::string lines = Line("icon", group ? DescribeIconGroup(*group, imageHead) : "none");
    lines += DescribeVersion(file, tree);
    if (const std::optional<Bytes> dialog = Resource(file, tree, kDialogResource, IDD_PROGRESS))
        if (const std::string notice = PublisherLine(*dialog); !notice.empty())
            lines += Line("notice", notice);
    lines += DescribeExecutionLevel(file, tree);
    return lines + DescribeSignature(layout);
}
