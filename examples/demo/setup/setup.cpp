// The demo package's Setup program: writes one line into setup-ran.txt beside
// itself, with the folder it ran in and its working directory, and exits.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char program[MAX_PATH] = {};
    char workingDirectory[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    GetCurrentDirectoryA(MAX_PATH, workingDirectory);
    char* lastSlash = std::strrchr(program, '\\');
    if (!lastSlash)
        return 1;
    lastSlash[1] = '\0';

    char mark[MAX_PATH];
    if (std::snprintf(mark, sizeof mark, "%ssetup-ran.txt", program) >= static_cast<int>(sizeof mark))
        return 1;
    FILE* file = std::fopen(mark, "a");
    if (!file)
        return 1;
    std::fprintf(file, "Setup ran from %s with working directory %s\n", program, workingDirectory);
    return std::fclose(file) == 0 ? 0 : 1;
}
