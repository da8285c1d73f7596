#include "pack/threads.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

unsigned CoreCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

void RunOnThreads(unsigned count, const std::function<void(unsigned)>& work)
{
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < count; ++i)
        threads.emplace_back(work, i);
    if (count > 0)
        work(0);
    for (std::thread& thread : threads)
        thread.join();
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
