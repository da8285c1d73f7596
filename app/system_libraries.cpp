#include "app/system_libraries.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace {

// Not in the headers of every SDK, nor in every system.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

template <typename Function>
Function Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void RestrictDllSearchToSystem()
{
#ifndef SFX_UNPROTECTED_DLL_SEARCH
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Windows 7 with KB2533623 and later: only the system directory.
    if (auto setDefault = Lookup<BOOL(WINAPI*)(DWORD)>(kernel, "SetDefaultDllDirectories"))
        setDefault(kSearchSystem32);
    // Windows XP SP1 and later: not the current directory.
    if (auto setDirectory = Lookup<BOOL(WINAPI*)(LPCSTR)>(kernel, "SetDllDirectoryA"))
        setDirectory("");
#endif
}

bool RegisterProgressBarClass()
{
#ifdef SFX_UNPROTECTED_DLL_SEARCH
    // Only for the tests that show the protection matters: searched by name.
    HMODULE comctl = LoadLibraryA("comctl32.dll");
#else
    char path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const size_t used = length;
    if (std::snprintf(path + used, MAX_PATH - used, "\\comctl32.dll") >= static_cast<int>(MAX_PATH - used))
        return false;
    HMODULE comctl = LoadLibraryA(path);
#endif
    if (!comctl)
        return false;
    auto initialize = Lookup<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>(comctl, "InitCommonControlsEx");
    if (!initialize)
        return false;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    return initialize(&controls) != FALSE;
}
