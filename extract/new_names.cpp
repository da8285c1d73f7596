#include "extract/new_names.h"

DWORD NextNameNumber()
{
    // Only the worker thread makes names.
    static DWORD next = GetTickCount() ^ (GetCurrentProcessId() << 16);
    return next++;
}
