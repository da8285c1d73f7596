// A DLL named like a system one (it is built as comctl32.dll), as someone might
// plant it beside an installer in a downloads folder. Loaded, it leaves a mark:
// a line with the loading program's path in C:\planted-dll-loaded.txt.
#include <windows.h>

#include <cstdio>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        char program[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, program, MAX_PATH);
        if (FILE* mark = std::fopen("C:\\planted-dll-loaded.txt", "a")) {
            std::fprintf(mark, "%s\n", program);
            std::fclose(mark);
        }
    }
    return TRUE;
}
