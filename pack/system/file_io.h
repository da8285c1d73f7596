// The packer's files: paths shown as UTF-8, inputs checked for what they are
// before they are read, outputs written under a temporary name beside their
// place and renamed once whole. Every failure names the path and the
// system's cause.
#ifndef SFX_PACK_FILE_IO_H
#define SFX_PACK_FILE_IO_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "pack/system/bytes.h"
#include "pack/system/file_times.h"
#include "pack/system/interrupt_cleanup.h"
#include "pack/system/platform.h"

// A path as the user typed it, in UTF-8, and back. A Windows drive-relative
// path (Z:a.txt, Z:) comes back absolute, as it names a place in that
// drive's current folder, which the library's calls do not all find.
std::string Shown(const std::filesystem::path& path);
std::filesystem::path FromUtf8(const std::string& text);

// Whether the path is a regular file (links followed); if not, *why says what
// it is instead: "no such file", "a folder, not a file", ...
bool IsRegularFile(const std::filesystem::path& path, std::string* why);

// The size of a regular file of at most `largest` bytes; otherwise nothing,
// with "PATH: cause" in *error.
std::optional<uint64_t> InputFileSize(const std::filesystem::path& path, uint64_t largest, std::string* error);

// The whole file, when it is a regular file of at most `largest` bytes;
// otherwise nothing, with "PATH: cause" in *error.
std::optional<Bytes> ReadInputFile(const std::filesystem::path& path, uint64_t largest, std::string* error);

// The file to write for the output `path`, asked before long work so that
// it is not wasted: `path` itself when nothing or a regular file is there, in
// a folder that exists; the regular file a symbolic link names, so that, as
// when shells and cp write through links, the link stays a link. Nothing, with
// "PATH: cause" in *error, for anything else: a folder, a device, a FIFO, a
// socket, a link to one of them or to nothing. An output is never replaced
// by what is not what it was.
std::optional<std::filesystem::path> OutputFile(const std::filesystem::path& path, std::string* error);

// Where work files go that belong beside no output (an installer written to
// standard output): the system's temporary folder, or else the current one.
std::filesystem::path TemporaryFolder();

// A new file under an unpredictable name in the folder of `target`,
// created exclusively, so that nothing planted there (a link, a file) is
// ever written through; removed when it goes out of scope, or when the
// program is interrupted, unless it was renamed to the target.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::filesystem::path& target);
    // In `folder`, never to be renamed; `shown` names what it is for in
    // Error().
    TemporaryFile(const std::filesystem::path& folder, const std::string& shown);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Whether it was created; if not, Error() says "TARGET: cannot write
    // beside it (cause)".
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::filesystem::path& Path() const { return path_; }
    // The open file, for the one writer that writes it.
    std::FILE* TakeStream();
    // Renames it to the target, over a regular file that is there, never over
    // anything else; false with "TARGET: cause".
    bool RenameToTarget(bool executable, std::string* error);

private:
    void Create(const std::filesystem::path& folder, const std::string& shown);

    std::filesystem::path target_;
    std::filesystem::path path_;
    std::FILE* stream_ = nullptr;
    std::string error_;
    InterruptCleanup cleanup_;
    bool renamed_ = false;
};

// Writes a new temporary file, or a stream that stays open (standard
// output), front to back; the first failure is kept with its cause.
class FileWriter {
public:
    explicit FileWriter(TemporaryFile& file);
    explicit FileWriter(std::FILE* stream);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    bool Write(const uint8_t* bytes, size_t count);
    // Closes the file, or flushes the stream; true when every byte reached it.
    bool Close();
    // The system's cause of the first failure.
    const std::string& Error() const { return error_; }

private:
    bool Failed();
    std::FILE* file_;
    bool owned_;  // closed here; a stream is only flushed
    std::string error_;
};

// Reads a file at any offset, leaving its last access time as it was.
class FileReader {
public:
    explicit FileReader(const std::filesystem::path& path);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    bool Ok() const { return file_ != nullptr; }
    // Why it could not be opened: the system's cause.
    const std::string& Error() const { return error_; }
    // Exactly `count` bytes at `offset`; false when the file ends first or a read fails.
    bool ReadAt(uint64_t offset, uint8_t* out, size_t count);
    // Up to `count` bytes from where the last read ended; how many were read.
    size_t ReadSome(uint8_t* out, size_t count);
    // Whether nothing follows the last byte read.
    bool AtEnd();
    // The file's stamp as it is now; nothing, with the system's cause in
    // *error, when the system will not say.
    std::optional<FileStamp> Stamp(std::string* error);

private:
    std::FILE* file_ = nullptr;
    std::string error_;
    AccessTime accessed_;  // put back on closing
};

#endif
