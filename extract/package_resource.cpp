#include "extract/package_resource.h"

#include "resources/resource_ids.h"

bool LoadPackageResource(HINSTANCE module, PackageResource* package)
{
    // No language is named: the system's default choice applies.
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_PACKAGE), IDR_PACKAGE_TYPE);
    const DWORD size = found ? SizeofResource(module, found) : 0;
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    if (!loaded || size == 0)
        return false;
    package->bytes = static_cast<const BYTE*>(LockResource(loaded));
    package->size = size;
    return package->bytes != nullptr;
}
