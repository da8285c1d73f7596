// The options create takes, shared with the fuzzing of its command line.
#ifndef SFX_PACK_CLI_CREATE_OPTIONS_H
#define SFX_PACK_CLI_CREATE_OPTIONS_H

#include <vector>

#include "pack/cli/command_line.h"

std::vector<OptionSpec> CreateOptionSpecs();

#endif
