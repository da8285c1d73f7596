// Files and folders that are the program's own work in progress, removed if
// it is interrupted (Ctrl-C, SIGTERM, SIGHUP, or SIGPIPE when the reader of
// its output has gone; on Windows a console Ctrl-C, break or close) before
// it lets them go, as it removes them on every failure. The program then
// ends as interrupted programs do: by the signal, which shells report as
// 130, 143, 129 or 141, and on Windows with 130.
//
// Registered and released on the main thread only; the handler reads the
// registry without locks, and only the main thread receives the signals.
#ifndef SFX_PACK_INTERRUPT_CLEANUP_H
#define SFX_PACK_INTERRUPT_CLEANUP_H

#include <filesystem>
#include <string>

// Installs the handlers; once, at the start of main.
void RemoveWorkInProgressOnInterrupt();

// One path in the registry while it lives, unless released.
class InterruptCleanup {
public:
    enum class Kind { File, Folder };
    InterruptCleanup() = default;
    InterruptCleanup(const std::filesystem::path& path, Kind kind);
    ~InterruptCleanup() { Release(); }
    InterruptCleanup(InterruptCleanup&& other) noexcept;
    InterruptCleanup& operator=(InterruptCleanup&& other) noexcept;
    InterruptCleanup(const InterruptCleanup&) = delete;
    InterruptCleanup& operator=(const InterruptCleanup&) = delete;

    // The path is no longer removed on an interrupt.
    void Release();

private:
    struct Slot* slot_ = nullptr;
    std::filesystem::path path_;  // owns the text the slot points at
};

#endif
