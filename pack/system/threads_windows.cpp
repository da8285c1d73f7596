#include "pack/system/threads.h"

// Condition variables came with Vista. The packer is a tool for developers'
// machines; only the stub must start on Windows 2000 and XP.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <process.h>

#include <exception>
#include <vector>

namespace {

struct Start {
    const std::function<void(unsigned)>* work;
    unsigned index;
    std::exception_ptr failure;
};

void RunGuarded(Start& start)
{
    try {
        (*start.work)(start.index);
    } catch (...) {
        start.failure = std::current_exception();
    }
}

unsigned __stdcall RunStart(void* parameter)
{
    RunGuarded(*static_cast<Start*>(parameter));
    return 0;
}

}  // namespace

unsigned CoreCount()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwNumberOfProcessors > 0 ? system.dwNumberOfProcessors : 1;
}

uint64_t AddressSpaceOfAThread()
{
    // Threads started without a stack size reserve what the program's own
    // header asks for; the heap is the process's, shared.
    const auto* image = reinterpret_cast<const BYTE*>(GetModuleHandleW(/*name=*/nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    return headers->OptionalHeader.SizeOfStackReserve;
}

void RunOnThreads(unsigned count, const std::function<void(unsigned)>& work)
{
    std::vector<Start> starts;
    starts.reserve(count);
    std::vector<HANDLE> threads;
    threads.reserve(count);
    for (unsigned i = 0; i < count; ++i)
        starts.push_back({&work, i, nullptr});
    for (unsigned i = 1; i < count; ++i) {
        // _beginthreadex rather than CreateThread: the C runtime sets itself up
        // for the thread.
        const uintptr_t thread = _beginthreadex(/*security=*/nullptr, /*stackSize=*/0, RunStart, &starts[i],
                                                /*flags=*/0, /*id=*/nullptr);
        if (!thread)
            break;  // the system has no more threads to give: the work goes on with fewer
        threads.push_back(reinterpret_cast<HANDLE>(thread));
    }
    if (count > 0)
        RunGuarded(starts[0]);
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    for (const Start& start : starts)
        if (start.failure)
            std::rethrow_exception(start.failure);
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
