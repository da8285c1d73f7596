// libFuzzer target: the packer's PE and resource code on arbitrary files, as
// list, extract and verify read them and as create rewrites them. Whatever
// file the writer accepts, its output must parse and carry the package put in.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "pack/package/package_reader.h"
#include "pack/package/package_locator.h"
#include "pack/pe/resource_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Bytes file(data, data + size);
    // The reader takes installers from files, as sfxpack does.
    static const std::string path = "pe-fuzz-input-" + std::to_string(getpid()) + ".exe";
    static const int removedAtExit = std::atexit([] { std::remove(path.c_str()); });
    (void)removedAtExit;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    std::string error;
    if (std::optional<InstallerPackage> package = ReadInstallerPackage(path, 1252, {}, &error))
        FindPackageFlaws(*package, 1252);

    const Bytes package = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    const std::optional<ResourceWriteResult> written = WritePackageResource(file, package, &error);
    if (!written)
        return 0;
    const std::optional<Bytes> found = FindPackageResource(written->file, &error);
    if (!found || *found != package)
        abort();
    return 0;
}
