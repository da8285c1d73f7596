// Puts a package into a prepared stub: rebuilds the stub's resource section
// with the package as resource "SETUP" 2000 (language 1033), keeping every other
// resource byte for byte, and fixes the headers that describe it.
#ifndef SFX_PACK_RESOURCE_WRITER_H
#define SFX_PACK_RESOURCE_WRITER_H

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pack/pe/pe_image.h"
#include "pack/pe/resource_tree.h"
#include "pack/pe/stub_preparation.h"
#include "resources/resource_ids.h"

constexpr uint16_t kPackageId = IDR_PACKAGE;
constexpr uint16_t kPackageLanguage = IDR_PACKAGE_LANGUAGE;
inline const ResourceName kPackageType = ResourceName::Text(IDR_PACKAGE_TYPE);

struct ResourceWriteResult {
    Bytes file;
    std::vector<std::string> warnings;  // e.g. a signature that was removed
};

// The resources of the installer made of the stub: the stub's, with the package.
ResourceTree InstallerResources(const PreparedStub& stub, uint64_t packageSize);

// Why the installer's resources would be refused by its readers (too many of
// them); nothing when they would not. Known before the package is made.
std::optional<std::string> CheckInstallerResources(const PreparedStub& stub);

// The installer's bytes around its package, which comes last in the new
// resource section: the package's bytes follow `head`, and `tail` follows
// them. The checksum at checksum_offset is left for the caller, who sees every
// byte. Nothing, with the reason in *error, when the image would pass 4 GiB.
struct InstallerLayout {
    Bytes head;
    Bytes tail;
    size_t checksum_offset;
};
std::optional<InstallerLayout> LayOutInstaller(const PreparedStub& stub, uint64_t packageSize, std::string* error);

// The installer in memory: the prepared stub with the package among its resources.
std::optional<Bytes> EmbedPackage(const PreparedStub& stub, const Bytes& package, std::string* error);

// The installer written to `output` from the package in the file `package`,
// a piece at a time, under a temporary name first.
bool WriteInstaller(const PreparedStub& stub, const std::filesystem::path& package,
                    const std::filesystem::path& output, std::string* error);

// The same bytes written to `stream` (standard output), which is left open;
// `shown` names it in *error. The package is read twice: once for the
// checksum, which comes before it, once to be written.
bool WriteInstallerToStream(const PreparedStub& stub, const std::filesystem::path& package, std::FILE* stream,
                            const std::string& shown, std::string* error);

// Both steps at once: the new file, or nothing with the reason in *error.
std::optional<ResourceWriteResult> WritePackageResource(const Bytes& stub, const Bytes& package, std::string* error);

#endif
