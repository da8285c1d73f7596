// Between the registry of work in progress and each platform's handler.
#ifndef SFX_PACK_INTERRUPT_CLEANUP_PLATFORM_H
#define SFX_PACK_INTERRUPT_CLEANUP_PLATFORM_H

#include <filesystem>

using NativePathChar = std::filesystem::path::value_type;

// Removes every registered path; safe to call from the handler.
void RemoveRegisteredPaths();

// The system calls, safe in a handler; true when the path went.
bool RemoveFileNow(const NativePathChar* path);
bool RemoveFolderNow(const NativePathChar* path);

#endif
