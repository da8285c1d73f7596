// Names for what the installer makes for itself (its folder in the temporary
// folder, a staging file in the destination): a name that nobody holds, taken
// by making the file or folder exclusively, so that nothing of the user's or
// of the package is ever taken for one.
#ifndef SFX_EXTRACT_NEW_NAMES_H
#define SFX_EXTRACT_NEW_NAMES_H

#include <windows.h>

#include <cstdio>

// The number for the next name to try: a counter that starts at a value of
// this process's own.
DWORD NextNameNumber();

// Formats `format` with `folder` and a number into `path`, and calls
// `create(path)`, which makes the file or folder and fails, as CreateFileA's
// CREATE_NEW and CreateDirectoryA do, on a name that exists. A taken name is
// passed over for the next, a bounded number of times. False, with `path`
// empty, when no name was free, making failed for another reason or the path
// does not fit.
template <typename Create>
bool CreateUnderNewName(const char* format, const char* folder, char (&path)[MAX_PATH], Create create)
{
    constexpr int kAttempts = 256;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int length =
            std::snprintf(path, sizeof path, format, folder, static_cast<unsigned long>(NextNameNumber()));
        if (length < 0 || length >= static_cast<int>(sizeof path))
            break;
        if (create(static_cast<const char*>(path)))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    path[0] = '\0';
    return false;
}

#endif
