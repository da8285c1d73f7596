// sfxpack's commands, each given the arguments after its name; each returns
// the exit status: 0 done, 1 failed, 2 called wrongly.
#ifndef SFX_PACK_COMMANDS_H
#define SFX_PACK_COMMANDS_H

#include "pack/cli/command_line.h"

int Create(const Arguments& args);
int Inject(const Arguments& args);
int List(const Arguments& args);
int Extract(const Arguments& args);
int Verify(const Arguments& args);
int Info(const Arguments& args);

#endif
