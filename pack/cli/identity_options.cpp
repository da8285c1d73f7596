#include "pack/cli/identity_options.h"

#include "pack/cli/command_line.h"
#include "pack/identity/manifest.h"
#include "pack/system/file_io.h"

namespace {

// Icons and manifests are small; a file larger than this is not one.
constexpr uint64_t kLargestIcon = 16 << 20;
constexpr uint64_t kLargestManifest = 1 << 20;

}  // namespace

const std::vector<OptionSpec> kIdentityOptions = {
    {"--icon", 0, true},      {"--version-string", 0, true}, {"--file-version", 0, true},
    {"--product-version", 0, true}, {"--publisher", 0, true}, {"--execution-level", 0, true},
    {"--manifest", 0, true},
};

bool TakeIdentityOption(const std::string& name, const std::string& value, IdentityOptions* options,
                        std::string* wrong)
{
    InstallerIdentity& identity = options->identity;
    if (name == "--icon") {
        options->icon = FromUtf8(value);
    } else if (name == "--manifest") {
        options->manifest = FromUtf8(value);
    } else if (name == "--execution-level") {
        if (!IsExecutionLevel(value))
            *wrong = OptionGiven(name, value) + ": not asInvoker, highestAvailable or requireAdministrator";
        options->execution_level = value;
    } else if (name == "--version-string") {
        const size_t equals = value.find('=');
        const std::string key = value.substr(0, equals);
        if (equals == std::string::npos)
            *wrong = OptionGiven(name, value) + ": not KEY=VALUE, such as ProductName=Example";
        else if (!IsVersionStringKey(key))
            *wrong = "--version-string " + key + ": not a key of the version block; the keys are " + kVersionStringKeys;
        else if (const std::optional<std::string> unfit = CheckIdentityText(value.substr(equals + 1)))
            *wrong = "--version-string " + key + ": " + *unfit;
        else
            identity.strings.emplace_back(key, value.substr(equals + 1));
    } else if (name == "--file-version" || name == "--product-version") {
        const std::optional<VersionNumber> number = ParseVersionNumber(value, wrong);
        const bool file = name == "--file-version";
        if (number) {
            (file ? identity.file_version : identity.product_version) = number;
            (file ? identity.file_version_text : identity.product_version_text) = value;
        } else {
            *wrong = name + " " + *wrong;
        }
    } else if (name == "--publisher") {
        if (const std::optional<std::string> refusal = CheckPublisher(value))
            *wrong = *refusal;
        identity.publisher = value;
    } else {
        return false;
    }
    if (options->manifest && options->execution_level && wrong->empty())
        *wrong = "--manifest and --execution-level exclude each other: a manifest says its own level";
    return true;
}

std::optional<InstallerIdentity> LoadIdentity(const IdentityOptions& options, std::string* error)
{
    InstallerIdentity identity = options.identity;
    if (options.icon) {
        const std::optional<Bytes> file = ReadInputFile(*options.icon, kLargestIcon, error);
        std::string why;
        if (!file || !(identity.icon = ReadIconFile(*file, &why))) {
            if (file)
                *error = Shown(*options.icon) + ": " + why;
            return std::nullopt;
        }
    }
    if (options.manifest) {
        const std::optional<Bytes> file = ReadInputFile(*options.manifest, kLargestManifest, error);
        if (!file)
            return std::nullopt;
        if (const std::optional<std::string> wrong = CheckManifest(*file)) {
            *error = Shown(*options.manifest) + ": not a manifest Windows can read: " + *wrong;
            return std::nullopt;
        }
        identity.manifest = *file;
    }
    if (options.execution_level)
        identity.manifest = MakeManifest(*options.execution_level);
    return identity;
}
