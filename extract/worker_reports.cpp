#include "extract/worker_reports.h"

#include <commctrl.h>

#include "app/stub_state.h"
#include "resources/resource_ids.h"

namespace {

constexpr DWORD kCheckPacingMs = 100;

void SetControlText(HWND window, int control, const char* text)
{
    SetDlgItemTextA(window, control, text);
    UpdateWindow(GetDlgItem(window, control));
}

}  // namespace

void ReportProgress(HWND window, int position)
{
    SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    UpdateWindow(GetDlgItem(window, IDC_PROGRESS_BAR));
}

void ReportPercent(HWND window, const char* text)
{
    SetControlText(window, IDC_PERCENT_TEXT, text);
}

void ReportStatus(HWND window, const char* text)
{
    SetControlText(window, IDC_STATUS_TEXT, text);
}

bool StopRequested()
{
    return WaitForSingleObject(StopEvent, kCheckPacingMs) == WAIT_OBJECT_0;
}

bool StopSignalled()
{
    return WaitForSingleObject(StopEvent, /*milliseconds=*/0) == WAIT_OBJECT_0;
}

void ShowError(HWND window, const char* message)
{
    MessageBoxA(window, message, kStubTitle, MB_ICONERROR);
}

void ShowSuccess(HWND window, const char* message)
{
    MessageBoxA(window, message, kStubTitle, MB_ICONINFORMATION);
}

long PercentAfter(uint32_t index, uint32_t count)
{
    return static_cast<long>((static_cast<double>(index) + 1) / count * 100.0);
}

long PercentAt(uint32_t index, uint32_t count)
{
    return static_cast<long>(static_cast<double>(index) / count * 100.0);
}
