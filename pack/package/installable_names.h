// What makes a name one the installer can install: the rules that `create`
// applies to the files it packs and `verify` to the packages it reads, so
// that a package `verify` calls sound is one the installer takes.
#ifndef SFX_PACK_INSTALLABLE_NAMES_H
#define SFX_PACK_INSTALLABLE_NAMES_H

#include <cstddef>
#include <optional>
#include <string>

#include "extract/merge_format.h"
#include "extract/run_folder_name.h"

// The installer joins each name to its folder in a path of at most 259
// characters: first to its own folder in the temporary folder, which is at
// least "C:\" and "sfx12345678\" (15), then to "C:\Quillmoor\" (13).
constexpr size_t kLongestInstallablePath = 259;
constexpr size_t kShortestTemporaryFolder = 3;  // "C:\"
constexpr size_t kLongestInstallableName = kLongestInstallablePath - kShortestTemporaryFolder - kRunFolderNameLength;

// The lead bytes of a double-byte code page, as the installer finds them on a
// system of it; none for the others.
LeadBytes LeadBytesOf(unsigned codePage);

// Why the installer, on a system of this code page, cannot install a file of
// this name (as stored, in the code page), to follow "NAME: "; nothing when
// it can. Characters are named as the code page reads them.
std::optional<std::string> WhyNotInstallable(const std::string& storedName, unsigned codePage);

#endif
