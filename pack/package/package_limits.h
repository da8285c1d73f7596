// How large a package the installer takes: one rule for create, which must
// not make what the readers refuse, and for verify, list, info and extract.
#ifndef SFX_PACK_PACKAGE_LIMITS_H
#define SFX_PACK_PACKAGE_LIMITS_H

#include <cstdint>
#include <optional>
#include <string>

// The installer, a 32-bit program, inflates the whole merge data file into
// one block of memory: it can never hold more than 2 GiB, and under Wine a
// package of 1.25 GiB already fails ("Fail to read temporary data file"),
// while one of 1 GiB installs.
constexpr uint64_t kLargestMergeFile = uint64_t{1} << 31;
// Past this, create warns that the installer may not hold the package.
constexpr uint64_t kLargeMergeFile = uint64_t{1} << 30;

// The most entries a package has: the readers hold the table whole, and
// create makes no package that they refuse.
constexpr uint32_t kMostEntries = 1000000;

// Why the installer cannot take a merge data file of `size` bytes ("more than
// 2 GiB, ..."); nothing when it can.
std::optional<std::string> WhyTooLargeToInstall(uint64_t size);

#endif
