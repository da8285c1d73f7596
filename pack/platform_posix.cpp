#include "pack/platform.h"

#include <unistd.h>

std::filesystem::path ThisProgram()
{
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored);
}

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

unsigned long ProcessId()
{
    return static_cast<unsigned long>(getpid());
}
