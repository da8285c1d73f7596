// A Windows program that looks for its own package as the stub does and
// writes the bytes it finds to the file named by its argument. Exits 3 when it
// finds none. The package resource tests put packages into copies of it.
#include <windows.h>

#include <cstdio>

#include "extract/package_resource.h"

int main(int argc, char** argv)
{
    PackageResource package = {};
    if (!LoadPackageResource(GetModuleHandleA(nullptr), &package))
        return 3;
    if (argc < 2)
        return 2;
    FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(package.bytes, 1, package.size, out) != package.size || std::fclose(out) != 0)
        return 1;
    return 0;
}
