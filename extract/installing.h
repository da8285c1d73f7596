// Putting one file into the destination folder so that a failure or a stop
// never leaves it partly written, and never touches a file the package does
// not name.
#ifndef SFX_EXTRACT_INSTALLING_H
#define SFX_EXTRACT_INSTALLING_H

#include <windows.h>

#include "extract/merge_format.h"

enum class InstallResult { Installed, Failed, Stopped };

// Installs the file at `copy` as `installed`, in `folder`, over a file of that
// name if there is one, with the entry's three times.
InstallResult InstallFile(const char* copy, const char* folder, const char* installed, const MergeEntry& entry);

// Sets the entry's creation, last access and last write times on an open file.
bool ApplyTimes(HANDLE file, const MergeEntry& entry);

#endif
