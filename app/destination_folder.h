// The one folder the stub installs into: "Quillmoor\" at the root of the drive
// that holds the system directory.
#ifndef SFX_APP_DESTINATION_FOLDER_H
#define SFX_APP_DESTINATION_FOLDER_H

#include <windows.h>
#include <cstddef>

// The destination folder's path, ending in a backslash; empty until prepared.
extern char DestinationFolder[MAX_PATH];
// Whether this run made the folder: a run that installs nothing removes it.
extern bool DestinationCreated;

// Fills DestinationFolder and creates the folder with any missing parents.
// Returns the path's length, or 0 when there is no drive root to install under,
// in which case nothing is created and the stub must not install anything.
int PrepareDestinationFolder(HWND owner);

// Writes "X:\Quillmoor\" into folder for a system directory on drive X.
// Returns its length, or 0 (and an empty folder) when systemDirectory does not
// start with a drive root "X:\".
int BuildDestinationPath(const char* systemDirectory, char* folder, size_t folderSize);

#endif
