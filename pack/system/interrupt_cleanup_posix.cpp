// Signals: the handler removes the work in progress, then ends the program
// by the same signal, with the system's default action.
#include <signal.h>
#include <unistd.h>

#include "pack/system/interrupt_cleanup.h"
#include "pack/system/interrupt_cleanup_platform.h"

namespace {

// SIGPIPE too: an installer written to standard output meets a reader that
// has gone (`| head`) while its package still lies in the temporary folder.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void OnSignal(int signal)
{
    RemoveRegisteredPaths();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

}  // namespace

bool RemoveFileNow(const NativePathChar* path)
{
    return unlink(path) == 0;
}

bool RemoveFolderNow(const NativePathChar* path)
{
    return rmdir(path) == 0;
}

void RemoveWorkInProgressOnInterrupt()
{
    for (int signal : kSignals) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        for (int other : kSignals)
            sigaddset(&action.sa_mask, other);  // one handler at a time
        sigaction(signal, &action, nullptr);
    }
}
