#include "pack/package/install_time.h"

namespace {

constexpr uint64_t kStepMilliseconds = 100;
constexpr uint64_t kStepsOfItsOwn = 8;
// Below this, the pacing costs seconds at most, not worth a line.
constexpr uint64_t kEntriesWorthANote = 100;

// "1 h 0 min 3 s", "1 min 41 s", "21 s": whole seconds, rounded up (100.8 s
// is 1 min 41 s), from the largest unit that is not zero.
std::string Duration(uint64_t milliseconds)
{
    const uint64_t seconds = (milliseconds + 999) / 1000;
    std::string text;
    if (seconds >= 3600)
        text += std::to_string(seconds / 3600) + " h ";
    if (seconds >= 60)
        text += std::to_string(seconds / 60 % 60) + " min ";
    return text + std::to_string(seconds % 60) + " s";
}

}  // namespace

uint64_t MinimumInstallMilliseconds(uint64_t entries)
{
    return (kStepsOfItsOwn + 2 * entries) * kStepMilliseconds;
}

std::optional<std::string> InstallTimeNote(uint64_t entries)
{
    if (entries < kEntriesWorthANote)
        return std::nullopt;
    return "installing takes at least " + Duration(MinimumInstallMilliseconds(entries)) +
           ": the installer shows each file for 100 ms while it unpacks it and again while it copies it";
}
