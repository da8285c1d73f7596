// libFuzzer target: the version block as `info` reads it from any installer
// and as create writes it back. A block that reads must write, unless a node
// outgrows its 16-bit length, and read again as the same tree.
#include <cstdint>
#include <cstdlib>

#include "pack/identity/version_block.h"

namespace {

bool SameTree(const VersionNode& a, const VersionNode& b)
{
    if (a.key != b.key || a.type != b.type || a.value != b.value || a.children.size() != b.children.size())
        return false;
    for (size_t i = 0; i < a.children.size(); ++i)
        if (!SameTree(a.children[i], b.children[i]))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string error;
    std::optional<VersionNode> root = ReadVersionBlock(Bytes(data, data + size), &error);
    if (!root)
        return 0;
    VersionStrings(*root);
    FixedVersions(*root);
    const std::optional<Bytes> written = WriteVersionBlock(*root);
    if (!written)
        return 0;
    const std::optional<VersionNode> again = ReadVersionBlock(*written, &error);
    if (!again || !SameTree(*root, *again))
        abort();
    // What create does to it: strings set, numbers set, written again.
    SetVersionString(*root, "ProductName", "Larkspur \xf0\x9f\xa6\x9c");
    SetFixedVersions(*root, VersionNumber{1, 2, 3, 4}, std::nullopt);
    if (const std::optional<Bytes> changed = WriteVersionBlock(*root); changed && !ReadVersionBlock(*changed, &error))
        abort();
    return 0;
}
