// Where the installer keeps its temporary files: a folder of its own, new for
// each run, in the user's temporary folder. Nothing that was in the temporary
// folder before is ever opened, replaced or deleted.
#ifndef SFX_EXTRACT_TEMPORARY_FOLDER_H
#define SFX_EXTRACT_TEMPORARY_FOLDER_H

#include <windows.h>

// The user's temporary folder as a narrow path, ending in a backslash, that
// names the folder itself. A folder whose name has letters outside the ANSI
// code page (a user's name in Polish on a Western system), or whose path is
// too long for a folder to be made in it, is named by its short form, which
// the file system keeps in ASCII. False when neither form survives the code
// page or fits.
bool FindTemporaryFolder(char (&folder)[MAX_PATH]);

// Makes a new folder in `temporaryFolder`, never one that exists, and puts
// its path, ending in a backslash, into `runFolder`. False, with `runFolder`
// empty, when none can be made.
bool CreateRunFolder(const char* temporaryFolder, char (&runFolder)[MAX_PATH]);

#endif
