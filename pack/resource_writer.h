// Puts a package into a prepared stub: rebuilds the stub's resource section
// with the package as resource "SETUP" 2000 (language 1033), keeping every other
// resource byte for byte, and fixes the headers that describe it.
#ifndef SFX_PACK_RESOURCE_WRITER_H
#define SFX_PACK_RESOURCE_WRITER_H

#include <optional>
#include <string>
#include <vector>

#include "pack/pe_image.h"
#include "pack/resource_tree.h"
#include "pack/stub_preparation.h"

constexpr uint16_t kPackageId = 2000;
constexpr uint16_t kPackageLanguage = 1033;
inline const ResourceName kPackageType = ResourceName::Text("SETUP");

struct ResourceWriteResult {
    Bytes file;
    std::vector<std::string> warnings;  // e.g. a signature that was removed
};

// The installer: the prepared stub with the package among its resources; or
// nothing with the reason in *error (an image that would pass 4 GiB).
std::optional<Bytes> EmbedPackage(const PreparedStub& stub, const Bytes& package, std::string* error);

// Both steps at once: the new file, or nothing with the reason in *error.
std::optional<ResourceWriteResult> WritePackageResource(const Bytes& stub, const Bytes& package, std::string* error);

// The package a file carries: the bytes of "SETUP" 2000 in any language, or
// nothing (with the reason in *error) when there is none or the file is not
// a sound PE file.
std::optional<Bytes> FindPackageResource(const Bytes& file, std::string* error);

#endif
