#include "extract/extraction_worker.h"

DWORD WINAPI ExtractionWorker(LPVOID window)
{
    // No job yet: the worker ends at once with its end notice, which runs the
    // window's close pass and ends the program.
    PostMessageA(static_cast<HWND>(window), WM_DESTROY, /*wParam=*/0, /*lParam=*/0);
    return 0;
}
