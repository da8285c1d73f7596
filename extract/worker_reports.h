// How the extraction worker talks to the user: synchronous updates of the
// progress window's three live controls, message boxes owned by the window,
// and the stop checks that pace the job.
#ifndef SFX_EXTRACT_WORKER_REPORTS_H
#define SFX_EXTRACT_WORKER_REPORTS_H

#include <windows.h>

#include <cstdint>

// The progress bar's position, 0 to 100 (its range is 1 to 100).
void ReportProgress(HWND window, int position);
void ReportPercent(HWND window, const char* text);
void ReportStatus(HWND window, const char* text);

// Waits up to 100 ms for the stop event. Only a signalled event is a stop;
// a time-out or a failed wait is not.
bool StopRequested();
// Looks at the stop event without waiting. The long steps look between chunks
// of their work, so that a close takes effect within one chunk.
bool StopSignalled();

void ShowError(HWND window, const char* message);
void ShowSuccess(HWND window, const char* message);

// The percent after entry `index` (from 0) of `count`: ((index + 1) / count)
// x 100, in double precision, dividing first, truncated.
long PercentAfter(uint32_t index, uint32_t count);
// The rollback's position for entry `index`: (index / count) x 100, likewise.
long PercentAt(uint32_t index, uint32_t count);

#endif
