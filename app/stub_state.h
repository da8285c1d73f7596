// What the stub's main thread and its worker thread share. Every value here is
// written on the main thread before the worker starts (or only ever by the main
// thread), so no lock is needed.
#ifndef SFX_APP_STUB_STATE_H
#define SFX_APP_STUB_STATE_H

#include <windows.h>

// Title of the progress window and of every message box.
constexpr char kStubTitle[] = "Self-Extractor";

// The process's exit code whenever the progress window was created.
constexpr int kStubExitCode = 18;

extern HINSTANCE Instance;       // the module that carries the resources
extern HWND ProgressWindow;      // the progress window, never destroyed
extern HICON WindowIcon;         // released by the close pass
extern HANDLE StopEvent;         // signalled: the worker is to stop
extern HANDLE WorkerThread;      // kept open for the life of the process
extern DWORD WorkerThreadId;

#endif
