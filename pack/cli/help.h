// What `sfxpack --help`, `sfxpack help [COMMAND]` and `COMMAND --help` print.
#ifndef SFX_PACK_CLI_HELP_H
#define SFX_PACK_CLI_HELP_H

#include <string>

// Every command's usage, on standard output.
void PrintUsage();

// "create, inject, ...": the commands help knows.
std::string CommandNames();

// One command's usage and options; false, printing nothing, for a name that
// is no command.
bool PrintCommandHelp(const std::string& command);

#endif
