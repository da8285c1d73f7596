#include "pack/file_times.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;

#ifdef _WIN32

uint64_t Join(const FILETIME& time)
{
    return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

FILETIME Split(uint64_t time)
{
    return {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

std::string LastError()
{
    return "error " + std::to_string(GetLastError());
}

#endif

}  // namespace

uint64_t FileTimeFromUnixNanoseconds(int64_t nanoseconds)
{
    return static_cast<uint64_t>(nanoseconds / 100 + kEpochDifference * 10000000);
}

int64_t UnixNanosecondsFromFileTime(uint64_t fileTime)
{
    return (static_cast<int64_t>(fileTime) - kEpochDifference * 10000000) * 100;
}

std::string FormatFileTime(uint64_t fileTime)
{
    const int64_t unixSeconds = static_cast<int64_t>(fileTime / 10000000) - kEpochDifference;
    const std::time_t seconds = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

#ifdef _WIN32

std::optional<FileTimes> ReadFileTimes(const std::filesystem::path& path, std::string* error)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot read its times (" + LastError() + ")";
        return std::nullopt;
    }
    FILETIME creation, access, write;
    const BOOL read = GetFileTime(file, &creation, &access, &write);
    CloseHandle(file);
    if (!read) {
        *error = "cannot read its times (" + LastError() + ")";
        return std::nullopt;
    }
    return FileTimes{Join(creation), Join(access), Join(write)};
}

bool ApplyFileTimes(const std::filesystem::path& path, const FileTimes& times, std::string* error)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const FILETIME creation = Split(times.creation), access = Split(times.last_access),
                   write = Split(times.last_write);
    const bool applied = file != INVALID_HANDLE_VALUE && SetFileTime(file, &creation, &access, &write);
    if (!applied)
        *error = "cannot set its times (" + LastError() + ")";
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return applied;
}

#else

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

#endif
