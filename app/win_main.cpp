#include <windows.h>

#include "app/progress_window.h"
#include "app/stub_state.h"
#include "app/system_libraries.h"
#include "resources/resource_ids.h"

// The command line is ignored: the stub takes no arguments.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    RestrictDllSearchToSystem();
    Instance = instance;
    // Without the class the window cannot be created, which says so below.
    RegisterProgressBarClass();

    // The window's initialisation prepares the folder and starts the worker.
    ProgressWindow = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), /*parent=*/nullptr,
                                        ProgressWindowProc, /*initParam=*/0);
    if (!ProgressWindow) {
        MessageBoxA(/*owner=*/nullptr, "Fail to start self-extract program!", kStubTitle,
                    MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    ShowWindow(ProgressWindow, showCommand);

    MSG message = {};
    while (GetMessageA(&message, /*window=*/nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(ProgressWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);  // the close pass's exit code
}
