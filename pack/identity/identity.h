// The identity room, pack/identity/: what a vendor puts into an installer to
// make it theirs, each part read and checked as Windows reads it (the icon
// file, the version block, the window's notice, the manifest), and, here,
// put together. It builds on the PE room (pack/pe/), which never uses it.
//
// The vendor's identity on an installer: the icon the window and Explorer
// show, the version block's numbers and strings, the publisher's notice in
// the window, and an application manifest. Applied to the stub's resources
// before anything is compressed; without any of it they stay as they are.
#ifndef SFX_PACK_IDENTITY_IDENTITY_H
#define SFX_PACK_IDENTITY_IDENTITY_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pack/identity/icon_file.h"
#include "pack/pe/resource_tree.h"
#include "pack/identity/version_block.h"

struct InstallerIdentity {
    std::optional<std::vector<IconImage>> icon;
    std::vector<std::pair<std::string, std::string>> strings;  // version strings, KEY=VALUE, in order
    std::optional<VersionNumber> file_version;
    std::optional<VersionNumber> product_version;
    // As the vendor wrote them ("1.4"): the strings of the version block.
    std::string file_version_text, product_version_text;
    std::optional<std::string> publisher;
    std::optional<Bytes> manifest;

    bool Empty() const
    {
        return !icon && strings.empty() && !file_version && !product_version && !publisher && !manifest;
    }
};

// The keys a version block's strings may have here: the standard ones.
bool IsVersionStringKey(const std::string& key);
extern const char* const kVersionStringKeys;  // "CompanyName, FileDescription, ..."

// Why a text cannot be a string of the version block or the notice: it is
// not UTF-8, or it holds a control character (C0, DEL, C1), which Windows
// would show as a box or obey; nothing when it can.
std::optional<std::string> CheckIdentityText(const std::string& text);

// Why a publisher's name cannot go into the notice; nothing when it can.
std::optional<std::string> CheckPublisher(const std::string& publisher);

// Whose fault it is that an identity cannot be applied: the stub's, which
// lacks what it would change (a version block, the notice) or room for the
// icon's images, or the options',
// which ask for what the resources cannot hold.
enum class IdentityFault { kNone, kStub, kOption };

// Applies the identity to the resources; the cause in *error when it cannot.
IdentityFault ApplyIdentity(ResourceTree& resources, const InstallerIdentity& identity, std::string* error);

#endif
