// libFuzzer target: what `sfxpack info` says of any file's identity (icon,
// version block, notice, manifest, signature). Every line it prints ends in
// its newline and holds no control character, whatever the file holds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "pack/cli/identity_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Installers are read from files, as sfxpack reads them.
    static const std::string path = "info-fuzz-input-" + std::to_string(getpid()) + ".exe";
    static const int removedAtExit = std::atexit([] { std::remove(path.c_str()); });
    (void)removedAtExit;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    FileReader file(path);
    std::string error;
    const std::optional<ResourceLayout> layout = ReadResourceLayout(file, size, &error);
    if (!layout)
        return 0;
    const std::string report = DescribeIdentity(file, *layout);
    if (report.empty() || report.back() != '\n')
        abort();
    for (size_t i = 0; i < report.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(report[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F || (c == 0xC2 && (report[i + 1] & 0xE0) == 0x80))
            abort();
    }
    return 0;
}
