// The options that give an installer its vendor's identity, shared by
// create and inject: --icon, --version-string, --file-version,
// --product-version, --publisher, --execution-level, --manifest.
#ifndef SFX_PACK_CLI_IDENTITY_OPTIONS_H
#define SFX_PACK_CLI_IDENTITY_OPTIONS_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pack/cli/command_line.h"
#include "pack/identity/identity.h"

extern const std::vector<OptionSpec> kIdentityOptions;

struct IdentityOptions {
    std::optional<std::filesystem::path> icon;
    std::optional<std::filesystem::path> manifest;
    std::optional<std::string> execution_level;
    InstallerIdentity identity;  // what needs no file read
};

// Takes one option if it is one of these: true, with what is wrong with its
// value in *wrong (empty when nothing is).
bool TakeIdentityOption(const std::string& name, const std::string& value, IdentityOptions* options,
                        std::string* wrong);

// The identity, with the icon and manifest files read and checked; nothing,
// with "PATH: cause" in *error, when one is not what it must be.
std::optional<InstallerIdentity> LoadIdentity(const IdentityOptions& options, std::string* error);

#endif
