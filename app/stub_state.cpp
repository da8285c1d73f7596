#include "app/stub_state.h"

HINSTANCE Instance = nullptr;
HWND ProgressWindow = nullptr;
HICON WindowIcon = nullptr;
HANDLE StopEvent = nullptr;
HANDLE WorkerThread = nullptr;
DWORD WorkerThreadId = 0;
