// How long an installer takes at least: it keeps every step on screen for
// 100 ms, which is its design, so a package of many small files installs
// slowly however fast the machine. create and info say so when it shows.
#ifndef SFX_PACK_PACKAGE_INSTALL_TIME_H
#define SFX_PACK_PACKAGE_INSTALL_TIME_H

#include <cstdint>
#include <optional>
#include <string>

// The least time, in milliseconds, that an installer of `entries` files
// takes to succeed: eight steps of its own, and two for each file (unpacking
// it, then copying it), 100 ms each.
uint64_t MinimumInstallMilliseconds(uint64_t entries);

// From 100 files, the line that says how long installing takes at least
// ("installing takes at least 1 min 41 s: ..."); nothing for fewer.
std::optional<std::string> InstallTimeNote(uint64_t entries);

#endif
