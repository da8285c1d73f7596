#include "app/progress_window.h"

#include "app/destination_folder.h"
#include "app/stub_state.h"
#include "extract/extraction_worker.h"
#include "resources/resource_ids.h"

namespace {

// How long a close gives a running worker to notice the stop request.
constexpr DWORD kStopAllowanceMs = 500;

BOOL OnInitDialog(HWND window)
{
    SetWindowTextA(window, kStubTitle);
    WindowIcon = LoadIconA(Instance, MAKEINTRESOURCEA(IDI_APP));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(WindowIcon));

    if (PrepareDestinationFolder(window) <= 0)
        return TRUE;  // nowhere to install: the window stays idle until closed

    // The event exists before the worker does, so that its first check finds it.
    StopEvent = CreateEventA(/*attributes=*/nullptr, /*manualReset=*/TRUE,
                             /*initialState=*/FALSE, /*name=*/nullptr);
    WorkerThread = CreateThread(/*attributes=*/nullptr, /*stackSize=*/0, ExtractionWorker, window,
                                /*flags=*/0, &WorkerThreadId);
    return TRUE;
}

bool WorkerIsRunning()
{
    DWORD exitCode = 0;
    if (WorkerThread)
        GetExitCodeThread(WorkerThread, &exitCode);
    return exitCode == STILL_ACTIVE;
}

// Waits without handling messages, so the worker's control updates wait too.
void WaitWithoutMessages(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        // Unsigned arithmetic: a wrap of the tick counter does no harm.
    }
}

// Runs on the user's close (WM_CLOSE) and on the worker's end notice
// (WM_DESTROY), as often as they come; only the first complete pass releases
// anything.
void RunClosePass(bool workerHasEnded)
{
    if (WorkerIsRunning()) {
        if (StopEvent)
            SetEvent(StopEvent);
        if (workerHasEnded) {
            // Its job is done and it is only returning: no need to give it
            // the whole allowance.
            WaitForSingleObject(WorkerThread, kStopAllowanceMs);
        } else {
            WaitWithoutMessages(kStopAllowanceMs);
            // A worker still inside a step (a long inflation, a file half
            // written) is not cut off: it sees the stop at its next check,
            // rolls back, and posts its end notice, which brings us here
            // again. Until then the event stays open for it to wait on, and
            // the program goes on.
            if (WorkerIsRunning())
                return;
        }
    }

    if (WindowIcon)
        DestroyIcon(WindowIcon);
    WindowIcon = nullptr;
    if (StopEvent)
        CloseHandle(StopEvent);
    StopEvent = nullptr;
    PostQuitMessage(kStubExitCode);
}

}  // namespace

INT_PTR CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM, LPARAM)
{
    // No command is handled, so Enter and Esc (IDOK, IDCANCEL) do nothing.
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(window);
    case WM_CLOSE:
        RunClosePass(/*workerHasEnded=*/false);
        return TRUE;
    case WM_DESTROY:
        // Only the worker sends it, as the last thing it does: it waits on
        // nothing any more, and the window itself is never destroyed.
        RunClosePass(/*workerHasEnded=*/true);
        return TRUE;
    }
    return FALSE;
}
