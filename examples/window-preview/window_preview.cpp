// Shows the stub's real progress window, from its real template, with a worker
// that only fills in sample progress and keeps the window up for a while, so
// that the demo can take a picture of it. Prints "shown LEFT TOP WIDTH HEIGHT"
// (the window's place on screen) once the window is up.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "app/stub_state.h"
#include "extract/extraction_worker.h"
#include "resources/resource_ids.h"

DWORD WINAPI ExtractionWorker(LPVOID parameter)
{
    HWND window = static_cast<HWND>(parameter);
    // Control updates are synchronous: once they return, the window is shown
    // and its message loop runs.
    SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(1, 100));
    SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETPOS, 25, 0);
    SetDlgItemTextA(window, IDC_PERCENT_TEXT, "25%");
    SetDlgItemTextA(window, IDC_STATUS_TEXT, "Preparing data file...");
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);

    RECT place = {};
    GetWindowRect(window, &place);
    std::printf("shown %ld %ld %ld %ld\n", place.left, place.top, place.right - place.left,
                place.bottom - place.top);
    std::fflush(stdout);

    WaitForSingleObject(StopEvent, 5000);  // long enough for a screenshot, or until closed
    PostMessageA(window, WM_DESTROY, 0, 0);
    return 0;
}
