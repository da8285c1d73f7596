// A file's times through statx and utimensat: Linux keeps a birth time
// where the file system does, and sets none.
#include "pack/system/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

FileStamp StampOf(const struct statx& status)
{
    return {status.stx_size, status.stx_mtime.tv_sec, status.stx_mtime.tv_nsec, status.stx_ctime.tv_sec,
            status.stx_ctime.tv_nsec};
}

constexpr unsigned kStampFields = STATX_SIZE | STATX_MTIME | STATX_CTIME;

}  // namespace

std::optional<FileTimes> ReadFileTimes(const std::filesystem::path& path, std::string* error, FileStamp* stamp)
{
    struct statx status {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_ATIME | kStampFields, &status) != 0) {
        *error = std::string("cannot read its times (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    if (stamp)
        *stamp = StampOf(status);
    const statx_timestamp born = (status.stx_mask & STATX_BTIME) ? status.stx_btime : status.stx_mtime;
    FileTimes times{};
    const std::pair<const statx_timestamp&, uint64_t*> all[] = {
        {born, &times.creation}, {status.stx_atime, &times.last_access}, {status.stx_mtime, &times.last_write}};
    for (const auto& [time, fileTime] : all) {
        const std::optional<uint64_t> converted = FileTimeFromUnixTime({time.tv_sec, time.tv_nsec});
        if (!converted) {
            *error = "its time " + FormatUnixTime(time.tv_sec) +
                     " lies outside what the package can record (1601 to 30828)";
            return std::nullopt;
        }
        *fileTime = *converted;
    }
    return times;
}

std::optional<FileStamp> ReadFileStamp(std::FILE* file, std::string* error)
{
    struct statx status {};
    if (statx(fileno(file), "", AT_EMPTY_PATH, kStampFields, &status) != 0) {
        *error = std::strerror(errno);
        return std::nullopt;
    }
    return StampOf(status);
}

bool ApplyFileTimes(const std::filesystem::path& path, const FileTimes& times, std::string* error)
{
    auto spec = [](uint64_t fileTime) {
        const UnixTime time = UnixTimeFromFileTime(fileTime);
        return timespec{static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)};
    };
    const timespec both[2] = {spec(times.last_access), spec(times.last_write)};
    if (utimensat(AT_FDCWD, path.c_str(), both, 0) != 0) {
        *error = "cannot set its times " + FormatFileTime(times.last_access) + " and " +
                 FormatFileTime(times.last_write) + " (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}
