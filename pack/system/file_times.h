// A file's three times as FILETIMEs (100-nanosecond intervals since
// 1601-01-01 UTC), read from and applied to the local file system.
#ifndef SFX_PACK_FILE_TIMES_H
#define SFX_PACK_FILE_TIMES_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

struct FileTimes {
    uint64_t creation;
    uint64_t last_access;
    uint64_t last_write;
};

// What moves when a file's contents change, as the system keeps it: the size
// and the last write time and, on Linux, the change time (ctime), which any
// write moves even when the write time is set back after it. Windows keeps
// no change time that a program could not set: the write time and the size.
// Compared whole, never shown.
struct FileStamp {
    uint64_t size = 0;
    int64_t written = 0;           // Unix seconds (Linux), a FILETIME (Windows)
    int64_t written_fraction = 0;  // nanoseconds; 0 on Windows
    int64_t changed = 0;           // the change time, in Unix seconds; 0 on Windows
    int64_t changed_fraction = 0;
    bool operator==(const FileStamp&) const = default;
};

// Creation is the birth time where the file system records one, else the last
// write time. With `stamp`, the file's stamp too, read at the same moment.
std::optional<FileTimes> ReadFileTimes(const std::filesystem::path& path, std::string* error,
                                       FileStamp* stamp = nullptr);

// The stamp of an open file; nothing, with the system's cause in *error, when
// the system will not say.
std::optional<FileStamp> ReadFileStamp(std::FILE* file, std::string* error);

// Applies the times; where the system cannot set a creation time (Linux), the
// other two. Returns false with the reason in *error.
bool ApplyFileTimes(const std::filesystem::path& path, const FileTimes& times, std::string* error);

// A Unix time: seconds since 1970-01-01 UTC, and the nanoseconds into the
// second (0 to 999,999,999).
struct UnixTime {
    int64_t seconds;
    uint32_t nanoseconds;
};

// The latest FILETIME that Windows sets on a file: the high bit is never set
// (past the year 30828). create records none later, and verify refuses them.
constexpr uint64_t kLatestFileTime = INT64_MAX;

// The FILETIME of a Unix time; nothing when a FILETIME cannot hold it
// (before 1601, or past the year 30828).
std::optional<uint64_t> FileTimeFromUnixTime(UnixTime time);
UnixTime UnixTimeFromFileTime(uint64_t fileTime);

// "2024-05-18T12:34:56Z", to the second.
std::string FormatFileTime(uint64_t fileTime);
std::string FormatUnixTime(int64_t seconds);

#endif
