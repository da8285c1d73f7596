// The package the stub carries: resource type "SETUP", id IDR_PACKAGE (2000),
// one zlib stream of the merge data file.
#ifndef SFX_EXTRACT_PACKAGE_RESOURCE_H
#define SFX_EXTRACT_PACKAGE_RESOURCE_H

#include <windows.h>

struct PackageResource {
    const BYTE* bytes;
    DWORD size;
};

// Finds, sizes, loads and locks the package in `module`. Fails (returns false)
// when the resource is missing, cannot be loaded or is empty.
bool LoadPackageResource(HINSTANCE module, PackageResource* package);

#endif
