// The little else the packer asks of the system it runs on, one file for each.
#ifndef SFX_PACK_PLATFORM_H
#define SFX_PACK_PLATFORM_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Where the running program's file is, so that it finds what was installed
// beside it; empty when the system does not say.
std::filesystem::path ThisProgram();

// The program's arguments as UTF-8, whatever the system's code page. On
// Windows they are read as UTF-16 from the system, and an argument with a
// wildcard (* or ?) that matches files stands for them, sorted, as Windows
// programs expand their own; one that matches nothing stays as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes what the program prints, UTF-8, show as such on a console.
void UseUtf8Console();

// What a folder holds, "." and ".." aside; nothing, with the system's cause
// in *why, when it cannot be listed. Paths longer than Windows' 260
// characters too.
struct FolderItem {
    std::filesystem::path path;
    bool is_folder;
};
std::optional<std::vector<FolderItem>> ListFolder(const std::filesystem::path& folder, std::string* why);

// The address space the process may still take, where the system limits it:
// on Linux the limits of ulimit -v (RLIMIT_AS) and ulimit -d (RLIMIT_DATA),
// each less what is mapped now; on Windows the part of the process's own
// address space still free (2 GiB in all for the x86 packer). Nothing when
// nothing limits it.
std::optional<uint64_t> AddressSpaceLeft();

// Whether standard error is a terminal, where a progress bar can be drawn.
bool StandardErrorIsTerminal();

// Whether standard output is a terminal, where no installer is written.
bool StandardOutputIsTerminal();

// Standard output, made ready to carry bytes as they are: on Windows it
// would otherwise write every 0x0A as 0x0D 0x0A.
std::FILE* BinaryStandardOutput();

// The process's own open descriptor that a path names as Linux spells them
// (/dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N,
// /proc/PID/fd/N), itself or through links to it; nothing for any other
// path, and on Windows. Opened through its path, the file behind it
// would be replaced; written to, it takes the bytes as the shell set it up
// (>> appends). Whether it is open at all, and for writing, is the caller's
// to ask.
std::optional<int> OwnDescriptor(const std::filesystem::path& path);
bool DescriptorIsOpen(int descriptor);
bool DescriptorIsWritable(int descriptor);
// A stream that writes bytes as they are to an open descriptor (1 is
// standard output), and whether it is a terminal.
std::FILE* StreamOnDescriptor(int descriptor);
bool DescriptorIsTerminal(int descriptor);
// Whether the descriptor is the file at `path` (one that is read would grow
// as it is written), or standard output or error, where messages go.
bool DescriptorIsFile(int descriptor, const std::filesystem::path& path);
bool DescriptorIsStandardOutput(int descriptor);
bool DescriptorIsStandardError(int descriptor);

// An existing file, opened for reading in binary; nothing, with the system's
// cause in *why, when it cannot be opened. Where the system allows, reading
// it leaves its last access time alone (Linux: O_NOATIME).
std::FILE* OpenForReading(const std::filesystem::path& path, std::string* why);

// Standard input, read as bytes: Windows reads it as text unless told, turning
// CR LF into LF and ending it at a Ctrl-Z byte.
std::FILE* BinaryStandardInput();

// A file's last access time, taken before it is opened (opening may read
// it already) and put back before it is closed, where reading would move it
// (Windows): packing a file twice must see the same times.
struct AccessTime {
    uint64_t value = 0;
    bool known = false;
};
AccessTime SaveAccessTime(const std::filesystem::path& path);
void RestoreAccessTime(std::FILE* file, const AccessTime& saved);

// Moves to `offset` from the start, past 2 GiB too.
bool SeekTo(std::FILE* file, uint64_t offset);

// A new file at `path`, open for writing; nothing, with the system's cause in
// *why, when anything is there already: a file, a folder or a link, even a
// link to nowhere.
std::FILE* CreateNewFile(const std::filesystem::path& path, std::string* why);

#endif
