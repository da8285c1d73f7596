#include "extract/destination_lock.h"

#include <cstring>

DestinationState DestinationLock::Acquire(const char* folderPath)
{
    // Asked with its closing backslash, a link answers for what it points to.
    char folder[MAX_PATH] = {};
    const size_t length = std::strlen(folderPath);
    if (length == 0 || length >= sizeof folder)
        return DestinationState::Unavailable;
    std::memcpy(folder, folderPath, length);
    if (length > 3 && folder[length - 1] == '\\')
        folder[length - 1] = '\0';

    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, not what it points to.
    folder_ = ScopedHandle(CreateFileA(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       /*attributes=*/nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       /*template=*/nullptr));
    // Asked by name as well: not every file system reports a link through the
    // handle.
    const DWORD byName = GetFileAttributesA(folder);
    if (byName != INVALID_FILE_ATTRIBUTES && (byName & FILE_ATTRIBUTE_REPARSE_POINT))
        return DestinationState::Link;
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder_.Valid() || !GetFileInformationByHandle(folder_.Get(), &info))
        return DestinationState::Unavailable;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return DestinationState::Link;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return DestinationState::Unavailable;
    return DestinationState::Held;
}
