// A Windows program that says what its manifest got it from the system: the
// common controls that a plain LoadLibrary finds (version 6 lives in the
// side-by-side store, version 5 in the system folder), and the process's DPI
// awareness (0 unaware, 1 system aware, 2 per monitor). The manifest tests
// pack copies of it.
// DPI awareness contexts came with Windows 10.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#undef WINVER
#define WINVER 0x0A00
#include <windows.h>

#include <cstdio>

int main()
{
    HMODULE controls = LoadLibraryA("comctl32.dll");
    if (!controls)
        return 1;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(controls, path, MAX_PATH);
    const DPI_AWARENESS awareness = GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext());
    std::printf("common controls from %s\ndpi awareness %d\n", path, static_cast<int>(awareness));
    return 0;
}
