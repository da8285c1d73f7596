#include "pack/package/package_limits.h"

std::optional<std::string> WhyTooLargeToInstall(uint64_t size)
{
    if (size <= kLargestMergeFile)
        return std::nullopt;
    return "more than 2 GiB (" + std::to_string(kLargestMergeFile) +
           " bytes), which the 32-bit installer cannot hold in memory";
}
