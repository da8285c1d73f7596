// Loading code only from the system directory. An installer is often started
// from a downloads folder, where someone may have planted a DLL named like a
// system one; the stub must never load it.
#ifndef SFX_APP_SYSTEM_LIBRARIES_H
#define SFX_APP_SYSTEM_LIBRARIES_H

// Takes the program's own folder and the current directory out of the DLL
// search, where the running system offers the means (looked up at run time,
// so that Windows 2000 and XP still start).
void RestrictDllSearchToSystem();

// Registers the progress bar's window class with comctl32, loaded by its full
// path in the system directory. Returns false when it cannot.
bool RegisterProgressBarClass();

#endif
