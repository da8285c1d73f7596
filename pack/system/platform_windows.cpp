#include "pack/system/platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <system_error>
#include <vector>

std::filesystem::path ThisProgram()
{
    // The path may be longer than MAX_PATH: grow until it fits.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> path(size);
        const DWORD length = GetModuleFileNameW(/*module=*/nullptr, path.data(), size);
        if (length == 0)
            return {};
        if (length < size)
            return std::filesystem::path(path.data());
    }
    return {};
}

bool StandardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

std::FILE* OpenForReading(const std::filesystem::path& path, std::string* why)
{
    // With the right to write its attributes, a handle can tell the system
    // to leave the last access time alone; without it, reading goes on.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, share, /*attributes=*/nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        const FILETIME leaveAlone = {0xFFFFFFFF, 0xFFFFFFFF};
        SetFileTime(handle, /*creation=*/nullptr, &leaveAlone, /*write=*/nullptr);
    } else {
        handle = CreateFileW(path.c_str(), GENERIC_READ, share, /*attributes=*/nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        *why = std::system_category().message(static_cast<int>(GetLastError()));
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    std::FILE* file = descriptor >= 0 ? _fdopen(descriptor, "rb") : nullptr;
    if (!file) {
        *why = "cannot open it as a stream";
        if (descriptor >= 0)
            _close(descriptor);
        else
            CloseHandle(handle);
    }
    return file;
}

bool SeekTo(std::FILE* file, uint64_t offset)
{
    return offset <= INT64_MAX && _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

std::FILE* CreateNewFile(const std::filesystem::path& path, std::string* why)
{
    // Delete sharing lets an interrupt remove the file while it is open.
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                /*attributes=*/nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = std::system_category().message(static_cast<int>(GetLastError()));
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    std::FILE* file = descriptor >= 0 ? _fdopen(descriptor, "wb") : nullptr;
    if (!file) {
        *why = "cannot open it as a stream";
        if (descriptor >= 0)
            _close(descriptor);
        else
            CloseHandle(handle);
        DeleteFileW(path.c_str());
    }
    return file;
}
