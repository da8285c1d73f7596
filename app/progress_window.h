// The progress window: a modeless dialog from the template IDD_PROGRESS that
// starts the extraction worker while it initialises and shuts the program down
// when it is closed or when the worker posts its end notice (WM_DESTROY).
#ifndef SFX_APP_PROGRESS_WINDOW_H
#define SFX_APP_PROGRESS_WINDOW_H

#include <windows.h>

INT_PTR CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
