#include "pack/cli/create_options.h"

#include "pack/cli/identity_options.h"

std::vector<OptionSpec> CreateOptionSpecs()
{
    std::vector<OptionSpec> specs = {
        {"--output", 'o', true}, {"--stub", 0, true},    {"--launch", 0, true},   {"--no-launch"},
        {"--level", 0, true},    {"--threads", 0, true}, {"--codepage", 0, true}, {"--times", 0, true},
        {"--iterations", 0, true},
        {"--files-from", 0, true}, {"--null"}, {"--strip-symbols"},
    };
    specs.insert(specs.end(), kIdentityOptions.begin(), kIdentityOptions.end());
    return specs;
}
