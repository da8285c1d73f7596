// The destination folder, held open while files are installed into it. A
// folder that anybody could have made before the installer ran is trusted
// only when it is a real folder: a junction or a symbolic link would send the
// files wherever it points. Held without delete sharing, it can be neither
// renamed nor removed, and so not swapped for a link, until it is released.
#ifndef SFX_EXTRACT_DESTINATION_LOCK_H
#define SFX_EXTRACT_DESTINATION_LOCK_H

#include "extract/scoped_handle.h"

enum class DestinationState { Held, Link, Unavailable };

class DestinationLock {
public:
    // Opens the folder; Unavailable when it cannot be opened (it may be
    // missing: installing into it then fails file by file).
    DestinationState Acquire(const char* folderPath);
    // Lets go of the folder, so that it can be removed.
    void Release() { folder_.Close(); }

private:
    ScopedHandle folder_;
};

#endif
