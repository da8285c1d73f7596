// The extraction worker: the stub's whole job, on its own thread. Its argument
// is the progress window; it ends every run by posting WM_DESTROY to it.
#ifndef SFX_EXTRACT_EXTRACTION_WORKER_H
#define SFX_EXTRACT_EXTRACTION_WORKER_H

#include <windows.h>

DWORD WINAPI ExtractionWorker(LPVOID window);

#endif
