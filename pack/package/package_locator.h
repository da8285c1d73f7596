// Finds the package in an installer made by anything: the resource "SETUP"
// 2000, in whatever language, when it is there once.
#ifndef SFX_PACK_PACKAGE_LOCATOR_H
#define SFX_PACK_PACKAGE_LOCATOR_H

#include <optional>
#include <string>

#include "pack/system/file_io.h"
#include "pack/pe/pe_image.h"
#include "pack/pe/resource_tree.h"

// The package's bytes, from a whole file in memory; or nothing with the
// reason in *error: no package, or not a sound PE file.
std::optional<Bytes> FindPackageResource(const Bytes& file, std::string* error);

// A file's headers and the shape of its resource tree, read from the headers
// and the resource tables alone: each resource's bytes are left where they
// lie (deferred), to be read when wanted.
struct ResourceLayout {
    Bytes head;  // the start of the file, with every header
    PeImage image;
    ResourceTree tree;
};
std::optional<ResourceLayout> ReadResourceLayout(FileReader& file, uint64_t fileSize, std::string* error);

// The bytes of one resource of such a tree.
std::optional<Bytes> ReadResourceBytes(FileReader& file, const ResourceData& data, std::string* error);

// Where the package lies in a file of `fileSize` bytes, read from its
// headers and resource tables alone.
std::optional<FileRange> LocatePackage(FileReader& file, uint64_t fileSize, std::string* error);

#endif
