// A file's times through the system's own FILETIMEs.
#include "pack/system/file_times.h"

#include <windows.h>

#include <io.h>

#include <system_error>

#include "pack/system/paths.h"

namespace {

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
    return std::system_category().message(static_cast<int>(GetLastError()));
}

}  // namespace

std::optional<FileTimes> ReadFileTimes(const std::filesystem::path& path, std::string* error, FileStamp* stamp)
{
    HANDLE file = CreateFileW(SystemForm(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot read its times (" + LastError() + ")";
        return std::nullopt;
    }
    FILETIME creation, access, write;
    LARGE_INTEGER size;
    const BOOL read = GetFileTime(file, &creation, &access, &write) && GetFileSizeEx(file, &size);
    CloseHandle(file);
    if (!read) {
        *error = "cannot read its times (" + LastError() + ")";
        return std::nullopt;
    }
    if (stamp)
        *stamp = FileStamp{static_cast<uint64_t>(size.QuadPart), static_cast<int64_t>(Join(write))};
    return FileTimes{Join(creation), Join(access), Join(write)};
}

std::optional<FileStamp> ReadFileStamp(std::FILE* file, std::string* error)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    FILETIME write;
    LARGE_INTEGER size;
    if (!GetFileTime(handle, /*creation=*/nullptr, /*access=*/nullptr, &write) || !GetFileSizeEx(handle, &size)) {
        *error = LastError();
        return std::nullopt;
    }
    return FileStamp{static_cast<uint64_t>(size.QuadPart), static_cast<int64_t>(Join(write))};
}

bool ApplyFileTimes(const std::filesystem::path& path, const FileTimes& times, std::string* error)
{
    HANDLE file = CreateFileW(SystemForm(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const FILETIME creation = Split(times.creation), access = Split(times.last_access),
                   write = Split(times.last_write);
    const bool applied = file != INVALID_HANDLE_VALUE && SetFileTime(file, &creation, &access, &write);
    if (!applied)
        *error = "cannot set its times " + FormatFileTime(times.creation) + ", " + FormatFileTime(times.last_access) +
                 " and " + FormatFileTime(times.last_write) + " (" + LastError() + ")";
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return applied;
}
