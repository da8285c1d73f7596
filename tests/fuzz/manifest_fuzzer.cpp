// libFuzzer target: the manifest check and the level that info reads, on
// arbitrary bytes, as --manifest files and installers' manifests give them.
// Whatever the check says must agree with what info reads: a level only
// from a manifest the check takes, and a refusal always says why.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pack/identity/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The manifests sfxpack writes itself are taken, and say their level.
    static const bool generatedAreSound = [] {
        for (const char* level : {"asInvoker", "highestAvailable", "requireAdministrator"})
            if (CheckManifest(MakeManifest(level)) || RequestedExecutionLevel(MakeManifest(level)) != level)
                std::abort();
        return true;
    }();
    (void)generatedAreSound;

    const Bytes manifest(data, data + size);
    const std::optional<std::string> wrong = CheckManifest(manifest);
    const std::string level = RequestedExecutionLevel(manifest);
    if (wrong && wrong->empty())
        std::abort();  // a refusal that says nothing
    if (wrong && !level.empty())
        std::abort();  // a level read from a manifest Windows would ignore
    return 0;
}
