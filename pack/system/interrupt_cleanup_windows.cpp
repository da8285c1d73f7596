// Console events: the handler runs on a thread of its own, removes the work
// in progress and ends the program, as Ctrl-C would have.
#include <windows.h>

#include "pack/system/interrupt_cleanup.h"
#include "pack/system/interrupt_cleanup_platform.h"

namespace {

constexpr UINT kInterruptedExitCode = 130;  // what shells say of a program ended by Ctrl-C

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        RemoveRegisteredPaths();
        ExitProcess(kInterruptedExitCode);
    }
    return FALSE;
}

}  // namespace

bool RemoveFileNow(const NativePathChar* path)
{
    return DeleteFileW(path) != FALSE;
}

bool RemoveFolderNow(const NativePathChar* path)
{
    return RemoveDirectoryW(path) != FALSE;
}

void RemoveWorkInProgressOnInterrupt()
{
    SetConsoleCtrlHandler(OnConsoleEvent, /*add=*/TRUE);
}
