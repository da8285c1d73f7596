#include "app/destination_folder.h"

#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <cstring>

char DestinationFolder[MAX_PATH];
bool DestinationCreated;

namespace {

constexpr char kFolderName[] = "Quillmoor\\";
constexpr int kLocalBufferSize = 256;

bool StartsWithDriveRoot(const char* path)
{
    return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
}

}  // namespace

int BuildDestinationPath(const char* systemDirectory, char* folder, size_t folderSize)
{
    folder[0] = '\0';
    // Without a drive root the path would be relative to the current directory,
    // wherever that is: never install there.
    if (!StartsWithDriveRoot(systemDirectory))
        return 0;
    const int length = std::snprintf(folder, folderSize, "%.3s%s", systemDirectory, kFolderName);
    if (length < 0 || static_cast<size_t>(length) >= folderSize) {
        folder[0] = '\0';
        return 0;
    }
    return length;
}

int PrepareDestinationFolder(HWND owner)
{
    char systemDirectory[kLocalBufferSize] = {};
    wchar_t widePath[kLocalBufferSize] = {};
    std::memset(DestinationFolder, 0, sizeof DestinationFolder);
    DestinationCreated = false;

    // On failure, or when the directory does not fit, nothing is written and the
    // cleared buffer yields no path.
    GetSystemDirectoryA(systemDirectory, kLocalBufferSize);
    if (BuildDestinationPath(systemDirectory, DestinationFolder, sizeof DestinationFolder) == 0)
        return 0;

    MultiByteToWideChar(CP_ACP, /*flags=*/0, DestinationFolder, /*sourceLength=*/-1, widePath,
                        kLocalBufferSize - 1);
    // An existing folder is fine; a folder that cannot be created shows up later,
    // when the files cannot be copied into it.
    DestinationCreated = SHCreateDirectory(owner, widePath) == ERROR_SUCCESS;
    return static_cast<int>(std::strlen(DestinationFolder));
}
