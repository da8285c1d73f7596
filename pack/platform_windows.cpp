#include "pack/platform.h"

#include <windows.h>

#include <io.h>

#include <cstdio>
#include <vector>

std::filesystem::path ThisProgram()
{
    // The path may be longer than MAX_PATH: grow until it fits.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> path(size);
        const DWORD length = GetModuleFileNameW(/*module=*/nullptr, path.data(), size);
        if (length == 0)
            return {};
        if (length < size)
            return std::filesystem::path(path.data());
    }
    return {};
}

bool StandardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

unsigned long ProcessId()
{
    return GetCurrentProcessId();
}
