#include "extract/installing.h"

#include "extract/chunked_io.h"
#include "extract/new_names.h"
#include "extract/scoped_handle.h"

namespace {

FILETIME AsFileTime(uint64_t time)
{
    return {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

ScopedHandle OpenExisting(const char* path, DWORD access)
{
    return ScopedHandle(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    /*attributes=*/nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    /*template=*/nullptr));
}

// A staging file in `folder` that this call created itself, open for
// writing and shared with nobody.
ScopedHandle CreateStagingFile(const char* folder, char (&staging)[MAX_PATH])
{
    ScopedHandle file;
    CreateUnderNewName("%ssfx%08lX.tmp", folder, staging, [&file](const char* path) {
        file = ScopedHandle(CreateFileA(path, GENERIC_WRITE, /*share=*/0, /*attributes=*/nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
        return file.Valid();
    });
    return file;
}

InstallResult CopyInto(const char* copy, ScopedHandle& to)
{
    ScopedHandle from(CreateFileA(copy, GENERIC_READ, FILE_SHARE_READ, /*attributes=*/nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
    if (!from.Valid())
        return InstallResult::Failed;
    switch (CopyInChunks(from.Get(), to.Get())) {
    case ChunkedResult::Done:
        return InstallResult::Installed;
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
    // The file goes in under a staging name first, with its bytes and its
    // times, and is renamed once whole: a full disk, a stop, times that the
    // file system refuses or a locked file never leave a partly written or
    // half replaced file behind.
    char staging[MAX_PATH] = {};
    ScopedHandle to = CreateStagingFile(folder, staging);
    if (!to.Valid())
        return InstallResult::Failed;
    InstallResult result = CopyInto(copy, to);
    if (result == InstallResult::Installed && !ApplyTimes(to.Get(), entry))
        result = InstallResult::Failed;
    if (!to.Close() && result == InstallResult::Installed)
        result = InstallResult::Failed;
    if (result == InstallResult::Installed && !MoveFileExA(staging, installed, MOVEFILE_REPLACE_EXISTING))
        result = InstallResult::Failed;
    if (result != InstallResult::Installed) {
        DeleteFileA(staging);
        return result;
    }
    // On NTFS a file renamed onto a name that was just replaced takes over
    // the old file's creation time: the times go on again. The file system
    // took them a moment ago; should it not now, the file is in place with
    // the wrong times, and that is a failure too.
    ScopedHandle file = OpenExisting(installed, FILE_WRITE_ATTRIBUTES);
    return file.Valid() && ApplyTimes(file.Get(), entry) ? InstallResult::Installed : InstallResult::Failed;
}
