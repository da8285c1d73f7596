// The little else the packer asks of the system it runs on, one file for each.
#ifndef SFX_PACK_PLATFORM_H
#define SFX_PACK_PLATFORM_H

#include <filesystem>

// Where the running program's file is, so that it finds what was installed
// beside it; empty when the system does not say.
std::filesystem::path ThisProgram();

// Whether standard error is a terminal, where a progress bar can be drawn.
bool StandardErrorIsTerminal();

// This process's id, to make names of its own.
unsigned long ProcessId();

#endif
