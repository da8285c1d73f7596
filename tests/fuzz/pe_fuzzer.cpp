// libFuzzer target: the packer's PE and resource code on arbitrary files, as
// list, extract and verify read them and as create rewrites them. Whatever
// file the writer accepts, its output must parse and carry the package put in.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pack/package_reader.h"
#include "pack/resource_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Bytes file(data, data + size);
    std::string error;
    if (std::optional<InstallerPackage> package = ReadInstallerPackage(file, &error))
        FindPackageFlaws(*package);

    const Bytes package = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    const std::optional<ResourceWriteResult> written = WritePackageResource(file, package, &error);
    if (!written)
        return 0;
    const std::optional<Bytes> found = FindPackageResource(written->file, &error);
    if (!found || *found != package)
        abort();
    return 0;
}
