#include "pack/system/threads.h"

#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

unsigned CoreCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

uint64_t AddressSpaceOfAThread()
{
    uint64_t stack = uint64_t{8} << 20;  // glibc's default, from ulimit -s
    pthread_attr_t attributes;
    if (pthread_getattr_default_np(&attributes) == 0) {
        size_t size = 0, guard = 0;
        if (pthread_attr_getstacksize(&attributes, &size) == 0 && size > 0)
            stack = size;
        if (pthread_attr_getguardsize(&attributes, &guard) == 0)
            stack += guard;
        pthread_attr_destroy(&attributes);
    }
#ifdef __GLIBC__
    // A thread's first allocation gives it an arena of its own (up to eight
    // for each core), a heap that reserves twice the largest mmap threshold
    // at once: 4 MiB for each byte of a long, twice.
    return stack + 2 * 4 * 1024 * 1024 * sizeof(long);
#else
    return stack;
#endif
}

void RunOnThreads(unsigned count, const std::function<void(unsigned)>& work)
{
    std::vector<std::exception_ptr> failures(count);
    auto guarded = [&](unsigned i) {
        try {
            work(i);
        } catch (...) {
            failures[i] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(count);
    {
        // The helpers take no signals, so that a handler only ever runs on
        // the calling thread; they keep the mask they start with.
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        for (unsigned i = 1; i < count; ++i) {
            try {
                threads.emplace_back(guarded, i);
            } catch (const std::exception&) {
                break;  // the system has no more threads to give: the work goes on with fewer
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    if (count > 0)
        guarded(0);
    for (std::thread& thread : threads)
        thread.join();
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

struct Monitor::Impl {
    std::mutex mutex;
    std::condition_variable condition;
};

Monitor::Monitor() : impl_(std::make_unique<Impl>()) {}
Monitor::~Monitor() = default;
void Monitor::Lock() { impl_->mutex.lock(); }
void Monitor::Unlock() { impl_->mutex.unlock(); }

void Monitor::Wait()
{
    std::unique_lock<std::mutex> lock(impl_->mutex, std::adopt_lock);
    impl_->condition.wait(lock);
    lock.release();  // the caller still holds it
}

void Monitor::NotifyAll() { impl_->condition.notify_all(); }
