#include "extract/temporary_folder.h"

#include <cwchar>

#include "extract/new_names.h"
#include "extract/run_folder_name.h"

namespace {

// The path in the ANSI code page, when converting it back gives the same
// path: a letter that the code page lacks would come back as "?" or as a
// look-alike ("L" for "Ł"), naming another folder or none.
bool ToAnsiUnchanged(const wchar_t* path, char (&narrow)[MAX_PATH])
{
    wchar_t back[MAX_PATH] = {};
    if (WideCharToMultiByte(CP_ACP, /*flags=*/0, path, /*sourceLength=*/-1, narrow, MAX_PATH,
                            /*defaultChar=*/nullptr, /*usedDefault=*/nullptr) > 0 &&
        MultiByteToWideChar(CP_ACP, /*flags=*/0, narrow, /*sourceLength=*/-1, back, MAX_PATH) > 0 &&
        std::wcscmp(back, path) == 0)
        return true;
    narrow[0] = '\0';
    return false;
}

bool EndsInBackslash(const wchar_t* path)
{
    const size_t length = std::wcslen(path);
    return length > 0 && path[length - 1] == L'\\';
}

}  // namespace

bool FindTemporaryFolder(char (&folder)[MAX_PATH])
{
    // CreateDirectoryA takes paths of at most MAX_PATH - 12 characters, its
    // terminator included, so that a file name of 8.3 fits in the folder.
    constexpr DWORD kLongestFolderToCreateIn = MAX_PATH - 12 - 1 - kRunFolderNameLength;
    folder[0] = '\0';
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetTempPathW(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH)
        return false;
    if (length <= kLongestFolderToCreateIn && ToAnsiUnchanged(path, folder))
        return true;
    // The short form of a folder that exists; it keeps the closing backslash.
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD shortLength = GetShortPathNameW(path, shortPath, MAX_PATH);
    if (shortLength == 0 || shortLength >= MAX_PATH || !EndsInBackslash(shortPath))
        return false;
    return ToAnsiUnchanged(shortPath, folder);
}

bool CreateRunFolder(const char* temporaryFolder, char (&runFolder)[MAX_PATH])
{
    return CreateUnderNewName(kRunFolderFormat, temporaryFolder, runFolder, [](const char* path) {
        return CreateDirectoryA(path, /*attributes=*/nullptr) != FALSE;
    });
}
