// How the packer names files to the system: the forms of a path that the
// library's calls and the system's own take, and which paths are one file.
#ifndef SFX_PACK_PATHS_H
#define SFX_PACK_PATHS_H

#include <filesystem>
#include <optional>
#include <string>

// The form of a path the user gave that every call takes. On Windows a
// drive-relative path (Z:a.txt, Z:) is made absolute from the current folder
// of its drive, and a \\?\ path is written plainly (\\?\C:\dist as C:\dist,
// \\?\UNC\server\share as \\server\share) when that names the same file, as
// the C runtime's calls refuse the question mark; elsewhere the path itself.
std::filesystem::path UsualForm(const std::filesystem::path& path);

// The form the system's own calls take for any length: on Windows absolute,
// after \\?\ (\\?\UNC\ for a share), past 260 characters too; elsewhere the
// path itself.
std::filesystem::path SystemForm(const std::filesystem::path& path);

// Whether the system takes the path for a device, not a file: on Windows the
// names it keeps for them in every folder (NUL, CON, COM1, ...); elsewhere
// no name is, as a device's node shows itself for what it is.
bool IsDevice(const std::filesystem::path& path);

// A key that two paths naming the same file share however they spell it:
// on Windows a share or its drive letter, a \\?\ form, another case, a
// drive-relative Z:a.txt. It is the file's folder as the system knows it
// and the file's name in that folder, so a link and the file it points to
// stay two files. Nothing when the file's folder cannot be found, or the
// system gives it no number of its own.
std::optional<std::string> FileIdentity(const std::filesystem::path& file);

#endif
