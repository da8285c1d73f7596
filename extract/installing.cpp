#include "extract/installing.h"

#include <cstdio>

#include "extract/chunked_io.h"
#include "extract/scoped_handle.h"

namespace {

FILETIME AsFileTime(uint64_t time)
{
    return {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

ScopedHandle OpenExisting(const char* path, DWORD access, DWORD flags = FILE_ATTRIBUTE_NORMAL)
{
    return ScopedHandle(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    /*attributes=*/nullptr, OPEN_EXISTING, flags, /*template=*/nullptr));
}

// A staging file in `folder` that this call created itself, open for
// writing and shared with nobody: CREATE_NEW fails on any name that exists,
// so no file of the user's or of the package is ever taken for one. Names
// come from a counter that starts at a value of this process's own; a taken
// name is passed over, a bounded number of times.
ScopedHandle CreateStagingFile(const char* folder, char (&staging)[MAX_PATH])
{
    static DWORD next = GetTickCount() ^ (GetCurrentProcessId() << 16);
    constexpr int kAttempts = 256;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int length = std::snprintf(staging, sizeof staging, "%ssfx%08lX.tmp", folder,
                                         static_cast<unsigned long>(next++));
        if (length < 0 || length >= static_cast<int>(sizeof staging))
            break;
        ScopedHandle file(CreateFileA(staging, GENERIC_WRITE, /*share=*/0, /*attributes=*/nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
        if (file.Valid())
            return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    staging[0] = '\0';
    return ScopedHandle();
}

InstallResult CopyInto(const char* copy, ScopedHandle& to)
{
    ScopedHandle from(CreateFileA(copy, GENERIC_READ, FILE_SHARE_READ, /*attributes=*/nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
    if (!from.Valid())
        return InstallResult::Failed;
    switch (CopyInChunks(from.Get(), to.Get())) {
    case ChunkedResult::Done:
        return to.Close() ? InstallResult::Installed : InstallResult::Failed;
    case ChunkedResult::Stopped:
        return InstallResult::Stopped;
    case ChunkedResult::Failed:
        break;
    }
    return InstallResult::Failed;
}

}  // namespace

bool ApplyTimes(HANDLE file, const MergeEntry& entry)
{
    const FILETIME creation = AsFileTime(entry.creation_time);
    const FILETIME access = AsFileTime(entry.last_access_time);
    const FILETIME write = AsFileTime(entry.last_write_time);
    return SetFileTime(file, &creation, &access, &write) != FALSE;
}

InstallResult InstallFile(const char* copy, const char* folder, const char* installed, const MergeEntry& entry)
{
    // The file goes in under a staging name first and is renamed once whole,
    // so a full disk, a stop or a locked file never leaves a partly written
    // or half replaced file behind.
    char staging[MAX_PATH] = {};
    ScopedHandle to = CreateStagingFile(folder, staging);
    if (!to.Valid())
        return InstallResult::Failed;
    InstallResult result = CopyInto(copy, to);
    to.Close();
    if (result == InstallResult::Installed && !MoveFileExA(staging, installed, MOVEFILE_REPLACE_EXISTING))
        result = InstallResult::Failed;
    if (result != InstallResult::Installed) {
        DeleteFileA(staging);
        return result;
    }
    // The times go on after the rename: on NTFS a file renamed onto a name
    // that was just replaced takes over the old file's creation time.
    ScopedHandle file = OpenExisting(installed, FILE_WRITE_ATTRIBUTES);
    return file.Valid() && ApplyTimes(file.Get(), entry) ? InstallResult::Installed : InstallResult::Failed;
}

bool IsSameFile(const char* first, const char* second)
{
    // Folders open only with backup semantics; the identity is what counts.
    ScopedHandle a = OpenExisting(first, /*access=*/0, FILE_FLAG_BACKUP_SEMANTICS);
    ScopedHandle b = OpenExisting(second, /*access=*/0, FILE_FLAG_BACKUP_SEMANTICS);
    BY_HANDLE_FILE_INFORMATION infoA, infoB;
    if (!a.Valid() || !b.Valid() || !GetFileInformationByHandle(a.Get(), &infoA) ||
        !GetFileInformationByHandle(b.Get(), &infoB))
        return false;
    return infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}
