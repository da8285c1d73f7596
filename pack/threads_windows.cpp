#include "pack/threads.h"

// Condition variables came with Vista. The packer is a tool for developers'
// machines; only the stub must start on Windows 2000 and XP.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <process.h>

#include <vector>

namespace {

struct Start {
    const std::function<void(unsigned)>* work;
    unsigned index;
};

unsigned __stdcall RunStart(void* parameter)
{
    const Start* start = static_cast<const Start*>(parameter);
    (*start->work)(start->index);
    return 0;
}

}  // namespace

unsigned CoreCount()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwNumberOfProcessors > 0 ? system.dwNumberOfProcessors : 1;
}

void RunOnThreads(unsigned count, const std::function<void(unsigned)>& work)
{
    std::vector<Start> starts;
    starts.reserve(count);
    std::vector<HANDLE> threads;
    for (unsigned i = 1; i < count; ++i) {
        starts.push_back({&work, i});
        // _beginthreadex rather than CreateThread: the C runtime sets itself up
        // for the thread.
        const uintptr_t thread = _beginthreadex(/*security=*/nullptr, /*stackSize=*/0, RunStart, &starts.back(),
                                                /*flags=*/0, /*id=*/nullptr);
        if (thread)
            threads.push_back(reinterpret_cast<HANDLE>(thread));
        else
            work(i);  // no thread to be had: the work is done all the same
    }
    if (count > 0)
        work(0);
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

struct Monitor::Impl {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE condition;
};

Monitor::Monitor() : impl_(std::make_unique<Impl>())
{
    InitializeCriticalSection(&impl_->lock);
    InitializeConditionVariable(&impl_->condition);
}

Monitor::~Monitor() { DeleteCriticalSection(&impl_->lock); }
void Monitor::Lock() { EnterCriticalSection(&impl_->lock); }
void Monitor::Unlock() { LeaveCriticalSection(&impl_->lock); }
void Monitor::Wait() { SleepConditionVariableCS(&impl_->condition, &impl_->lock, INFINITE); }
void Monitor::NotifyAll() { WakeAllConditionVariable(&impl_->condition); }
