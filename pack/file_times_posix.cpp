// A file's times through statx and utimensat: Linux keeps a birth time
// where the file system does, and sets none.
#include "pack/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

std::optional<FileTimes> ReadFileTimes(const std::filesystem::path& path, std::string* error)
{
    auto nanoseconds = [](const statx_timestamp& t) { return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; };
    struct statx status {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_ATIME | STATX_MTIME, &status) != 0) {
        *error = std::string("cannot read its times (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    const int64_t written = nanoseconds(status.stx_mtime);
    const int64_t born = (status.stx_mask & STATX_BTIME) ? nanoseconds(status.stx_btime) : written;
    return FileTimes{FileTimeFromUnixNanoseconds(born), FileTimeFromUnixNanoseconds(nanoseconds(status.stx_atime)),
                     FileTimeFromUnixNanoseconds(written)};
}

bool ApplyFileTimes(const std::filesystem::path& path, const FileTimes& times, std::string* error)
{
    auto spec = [](uint64_t fileTime) {
        const int64_t ns = UnixNanosecondsFromFileTime(fileTime);
        const int64_t seconds = ns >= 0 ? ns / 1000000000 : (ns - 999999999) / 1000000000;
        return timespec{static_cast<time_t>(seconds), static_cast<long>(ns - seconds * 1000000000)};
    };
    const timespec both[2] = {spec(times.last_access), spec(times.last_write)};
    if (utimensat(AT_FDCWD, path.c_str(), both, 0) != 0) {
        *error = std::string("cannot set its times (") + std::strerror(errno) + ")";
        return false;
    }
    return true;
}
