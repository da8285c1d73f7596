// What makes a name one the installer can install: the rules that `create`
// applies to the files it packs and `verify` to the packages it reads, so
// that a package `verify` calls sound is one the installer takes.
#ifndef SFX_PACK_INSTALLABLE_NAMES_H
#define SFX_PACK_INSTALLABLE_NAMES_H

#include <cstddef>
#include <optional>
#include <string>

// The installer joins each name to its folder in a path of at most 259
// characters: to "C:\Quillmoor\" (13), and first to the temporary folder.
constexpr size_t kLongestInstallablePath = 259;
constexpr size_t kLongestInstallableName = kLongestInstallablePath - 13;

// Why the installer cannot install a file of this name (as stored, in the
// package's code page), to follow "NAME: "; nothing when it can.
std::optional<std::string> WhyNotInstallable(const std::string& storedName);

#endif
