// The packer's files: paths shown as UTF-8, inputs checked for what they are
// before they are read, outputs written beside their place and renamed. Every
// failure is one line naming the path and the system's cause.
#ifndef SFX_PACK_FILE_IO_H
#define SFX_PACK_FILE_IO_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "pack/pe_image.h"

// A path as the user typed it, in UTF-8, and back.
std::string Shown(const std::filesystem::path& path);
std::filesystem::path FromUtf8(const std::string& text);

// Whether the path is a regular file (links followed); if not, *why says what
// it is instead: "no such file", "a folder, not a file", ...
bool IsRegularFile(const std::filesystem::path& path, std::string* why);

// The whole file, when it is a regular file of at most `largest` bytes;
// otherwise nothing, with "PATH: cause" in *error.
std::optional<Bytes> ReadInputFile(const std::filesystem::path& path, uint64_t largest, std::string* error);

// Whether `path` can be written at all: not a folder, in a folder that
// exists. Asked before long work, so that it is not wasted.
bool CanWriteOutput(const std::filesystem::path& path, std::string* error);

// Writes the bytes under a temporary name in the same folder, then renames it
// to `path`, so that a failure never leaves a partial file under that name.
bool WriteOutputFile(const std::filesystem::path& path, const Bytes& bytes, bool executable, std::string* error);

#endif
