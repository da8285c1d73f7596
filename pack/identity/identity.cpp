#include "pack/identity/identity.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string_view>

#include "pack/identity/dialog_notice.h"
#include "pack/system/utf16.h"
#include "resources/resource_ids.h"

namespace {

constexpr uint16_t kUsEnglish = 0x0409;

const std::set<std::string> kKeys = {"CompanyName",      "FileDescription", "ProductName",     "ProductVersion",
                                     "FileVersion",      "LegalCopyright",  "LegalTrademarks", "InternalName",
                                     "OriginalFilename", "Comments",        "PrivateBuild",    "SpecialBuild"};

// The language entry of a resource: the first there is.
ResourceData* FirstLanguage(ResourceTree& tree, uint16_t type, uint16_t id)
{
    const auto names = tree.find(ResourceName::Id(type));
    if (names == tree.end())
        return nullptr;
    const auto languages = names->second.find(ResourceName::Id(id));
    if (languages == names->second.end() || languages->second.empty())
        return nullptr;
    return &languages->second.begin()->second;
}

// The window's icon group (IDI_APP, or the first there is) gets the images;
// the images of the group it replaces go, and the new ones take the lowest
// free icon ids. False, with the cause in *error, when too few ids are free:
// icons the group does not list keep theirs.
bool ReplaceIcon(ResourceTree& tree, const std::vector<IconImage>& images, std::string* error)
{
    ResourceNames& groups = tree[ResourceName::Id(kIconGroupResource)];
    ResourceNames& icons = tree[ResourceName::Id(kIconResource)];
    ResourceName groupName = ResourceName::Id(IDI_APP);
    if (!groups.count(groupName) && !groups.empty())
        groupName = groups.begin()->first;
    ResourceLanguages& languages = groups[groupName];
    const uint16_t language = languages.empty() ? kUsEnglish : languages.begin()->first;
    // The replaced group's images go, but for those another group lists too.
    std::set<uint16_t> listedElsewhere;
    for (const auto& [name, otherLanguages] : groups)
        if (name != groupName)
            for (const auto& [ignored, data] : otherLanguages)
                if (const std::optional<std::vector<uint16_t>> ids = IconGroupIds(data.bytes))
                    listedElsewhere.insert(ids->begin(), ids->end());
    for (const auto& [ignored, data] : languages)
        if (const std::optional<std::vector<uint16_t>> ids = IconGroupIds(data.bytes))
            for (uint16_t id : *ids)
                if (!listedElsewhere.count(id))
                    icons.erase(ResourceName::Id(id));
    // Ids run from 1 to 65535, counted past the last so that they never wrap
    // to 0 and round again onto ids already given.
    std::vector<uint16_t> ids;
    for (uint32_t id = 1; id <= UINT16_MAX && ids.size() < images.size(); ++id)
        if (!icons.count(ResourceName::Id(static_cast<uint16_t>(id))))
            ids.push_back(static_cast<uint16_t>(id));
    if (ids.size() < images.size()) {
        *error = "no room for the icon's " + std::to_string(images.size()) + " images: the stub's other icons " +
                 "leave " + std::to_string(ids.size()) + " of the icon ids 1 to 65535 free";
        return false;
    }
    for (size_t i = 0; i < images.size(); ++i)
        icons[ResourceName::Id(ids[i])] = {{language, ResourceData{images[i].bytes}}};
    languages.clear();
    languages[language] = ResourceData{MakeIconGroup(images, ids)};
    return true;
}

// The strings that follow from the other options, unless given themselves.
std::vector<std::pair<std::string, std::string>> VersionStringsToSet(const InstallerIdentity& identity)
{
    std::set<std::string> given;
    for (const auto& [key, value] : identity.strings)
        given.insert(key);
    std::vector<std::pair<std::string, std::string>> strings;
    const auto text = [](const std::string& given, const VersionNumber& number) {
        return given.empty() ? FormatVersionNumber(number) : given;
    };
    if (identity.file_version && !given.count("FileVersion"))
        strings.emplace_back("FileVersion", text(identity.file_version_text, *identity.file_version));
    if (identity.product_version && !given.count("ProductVersion"))
        strings.emplace_back("ProductVersion", text(identity.product_version_text, *identity.product_version));
    if (identity.publisher && !given.count("CompanyName"))
        strings.emplace_back("CompanyName", *identity.publisher);
    strings.insert(strings.end(), identity.strings.begin(), identity.strings.end());
    return strings;
}

// The text's characters, each as its UTF-8 bytes.
std::vector<std::string> Characters(const std::string& utf8)
{
    std::vector<std::string> characters;
    for (size_t at = 0; at < utf8.size();) {
        const size_t start = at;
        DecodeUtf8(utf8, &at);
        characters.push_back(utf8.substr(start, at - start));
    }
    return characters;
}

// How many of its characters `key` may have for the block to be written
// with the other strings as they are.
size_t LongestFitting(const VersionNode& root, const std::string& key, const std::vector<std::string>& value)
{
    size_t fits = 0, fails = value.size();
    while (fails - fits > 1) {
        const size_t middle = fits + (fails - fits) / 2;
        VersionNode trial = root;
        std::string prefix;
        for (size_t i = 0; i < middle; ++i)
            prefix += value[i];
        SetVersionString(trial, key, prefix);
        (WriteVersionBlock(trial) ? fits : fails) = middle;
    }
    return fits;
}

// Why the block cannot be written: the longest string the vendor gave, and
// how long it may be beside the others; or, when even none of it would do,
// that the strings are too long together.
IdentityFault TooLong(const VersionNode& root, const InstallerIdentity& identity, std::string* error)
{
    const std::string limit = "longer than the " + std::to_string(kLongestVersionNode) + " bytes its lengths can count";
    const auto longest = std::max_element(identity.strings.begin(), identity.strings.end(), [](const auto& a, const auto& b) {
        return Utf16FromUtf8(a.second).size() < Utf16FromUtf8(b.second).size();
    });
    if (longest == identity.strings.end()) {
        *error = "the stub's version block would be " + limit;
        return IdentityFault::kStub;
    }
    const std::vector<std::string> value = Characters(longest->second);
    const size_t fits = LongestFitting(root, longest->first, value);
    VersionNode emptied = root;
    SetVersionString(emptied, longest->first, "");
    *error = "--version-string " + longest->first + ": " + std::to_string(value.size()) +
             " characters make the version block " + limit + "; " +
             (WriteVersionBlock(emptied) ? "with the other strings as they are, " + longest->first + " may be at most " +
                                               std::to_string(fits) + " characters"
                                         : "the strings are too long even without it: make them shorter together");
    return IdentityFault::kOption;
}

IdentityFault ChangeVersionBlock(ResourceTree& tree, const InstallerIdentity& identity, std::string* error)
{
    const std::vector<std::pair<std::string, std::string>> strings = VersionStringsToSet(identity);
    if (strings.empty() && !identity.file_version && !identity.product_version)
        return IdentityFault::kNone;
    ResourceData* block = FirstLanguage(tree, kVersionResource, kVersionBlockId);
    std::optional<VersionNode> root = block ? ReadVersionBlock(block->bytes, error) : std::nullopt;
    if (!root) {
        *error = "the stub has no sound version block to change" + (block ? " (" + *error + ")" : std::string());
        return IdentityFault::kStub;
    }
    if ((identity.file_version || identity.product_version) &&
        !SetFixedVersions(*root, identity.file_version, identity.product_version)) {
        *error = "the stub's version block has no fixed file information";
        return IdentityFault::kStub;
    }
    for (const auto& [key, value] : strings) {
        if (!SetVersionString(*root, key, value)) {
            *error = "the stub's version block has no string table";
            return IdentityFault::kStub;
        }
        // The flags say whether these two strings are there to be read.
        if (key == "PrivateBuild" || key == "SpecialBuild")
            SetFileFlag(*root, key == "PrivateBuild" ? kPrivateBuildFlag : kSpecialBuildFlag, !value.empty());
    }
    std::optional<Bytes> written = WriteVersionBlock(*root);
    if (!written)
        return TooLong(*root, identity, error);
    block->bytes = std::move(*written);
    return IdentityFault::kNone;
}

}  // namespace

const char* const kVersionStringKeys =
    "CompanyName, FileDescription, ProductName, ProductVersion, FileVersion, LegalCopyright, LegalTrademarks, "
    "InternalName, OriginalFilename, Comments, PrivateBuild, SpecialBuild";

bool IsVersionStringKey(const std::string& key)
{
    return kKeys.count(key) != 0;
}

std::optional<std::string> CheckIdentityText(const std::string& text)
{
    for (size_t at = 0, character = 1; at < text.size(); ++character) {
        const size_t start = at;
        const std::optional<char32_t> c = DecodeUtf8(text, &at);
        char where[160];
        if (!c) {
            std::snprintf(where, sizeof where, "byte %zu (0x%02X) is not UTF-8, in which texts are given "
                          "(iconv -t UTF-8 converts a file of another encoding)",
                          start + 1, static_cast<unsigned char>(text[start]));
            return std::string(where);
        }
        if (IsControlCharacter(*c)) {
            std::snprintf(where, sizeof where, "character %zu is a control character (U+%04X), which Windows would "
                          "show as a box or obey", character, static_cast<unsigned>(*c));
            return std::string(where);
        }
        if (IsLayoutCharacter(*c)) {
            std::snprintf(where, sizeof where, "character %zu (U+%04X) is invisible and changes how the text "
                          "around it reads", character, static_cast<unsigned>(*c));
            return std::string(where);
        }
    }
    return std::nullopt;
}

std::optional<std::string> CheckPublisher(const std::string& publisher)
{
    if (publisher.find_first_not_of(' ') == std::string::npos)
        return "--publisher needs a name";
    if (publisher.front() == ' ' || publisher.back() == ' ')
        return "--publisher \"" + publisher + "\": a name that starts or ends with a space";
    if (const std::optional<std::string> wrong = CheckIdentityText(publisher))
        return "--publisher: " + *wrong;
    // The notice's line is 189 dialog units of 8-point Tahoma, of which
    // "Packaged and published by " takes some 80: room for about twenty
    // letters of average width, counted here in halves of one.
    size_t width = 0;
    for (char16_t c : Utf16FromUtf8(publisher))
        width += std::u16string_view(u" .,;:'!|iIjlftr").find(c) != std::u16string_view::npos ? 1
                 : std::u16string_view(u"WMmw@%").find(c) != std::u16string_view::npos         ? 3
                                                                                                : 2;
    if (width > 2 * kLongestPublisher)
        return "--publisher " + publisher + ": too wide for its line in the window, which holds \"Packaged and " +
               "published by NAME.\" with a NAME of at most " + std::to_string(kLongestPublisher) +
               " letters (fewer wide ones, such as W or M)";
    return std::nullopt;
}

IdentityFault ApplyIdentity(ResourceTree& tree, const InstallerIdentity& identity, std::string* error)
{
    if (identity.icon && !ReplaceIcon(tree, *identity.icon, error))
        return IdentityFault::kStub;
    if (const IdentityFault fault = ChangeVersionBlock(tree, identity, error); fault != IdentityFault::kNone)
        return fault;
    if (identity.publisher) {
        ResourceData* dialog = FirstLanguage(tree, kDialogResource, IDD_PROGRESS);
        std::optional<Bytes> changed = dialog ? SetPublisher(dialog->bytes, *identity.publisher, error) : std::nullopt;
        if (!changed) {
            if (!dialog)
                *error = "the stub has no progress window (dialog " + std::to_string(IDD_PROGRESS) +
                         ") whose notice could name the publisher";
            return IdentityFault::kStub;
        }
        dialog->bytes = std::move(*changed);
    }
    if (identity.manifest) {
        ResourceNames& manifests = tree[ResourceName::Id(kManifestResource)];
        manifests.clear();
        manifests[ResourceName::Id(kProcessManifestId)] = {{kUsEnglish, ResourceData{*identity.manifest}}};
    }
    return IdentityFault::kNone;
}
