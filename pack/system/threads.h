// The little the packer needs of threads, on each platform's own: the MinGW
// compilers of the win32 thread model have no std::thread.
#ifndef SFX_PACK_THREADS_H
#define SFX_PACK_THREADS_H

#include <cstdint>
#include <functional>
#include <memory>

// How many threads can run at once here; at least 1.
unsigned CoreCount();

// The address space that each thread started besides the calling one takes
// before it does any work: its stack and, with glibc, the heap reserved at
// once for its allocations (64 MiB on 64-bit systems).
uint64_t AddressSpaceOfAThread();

// Runs work(0) on the calling thread and work(1) .. work(count - 1) on threads
// of their own, as many as the system gives, and returns when all have
// returned; the work must not depend on how many ran. An exception that the
// work lets out is thrown again here, once every thread is done.
void RunOnThreads(unsigned count, const std::function<void(unsigned)>& work);

// A lock with one condition to wait for, as threads that share a state need.
class Monitor {
public:
    Monitor();
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    void Lock();
    void Unlock();
    // Releases the lock while it waits for a NotifyAll; holds it again on return.
    void Wait();
    void NotifyAll();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Holds a monitor's lock for a scope.
class MonitorLock {
public:
    explicit MonitorLock(Monitor& monitor) : monitor_(monitor) { monitor_.Lock(); }
    ~MonitorLock() { monitor_.Unlock(); }
    MonitorLock(const MonitorLock&) = delete;
    MonitorLock& operator=(const MonitorLock&) = delete;

private:
    Monitor& monitor_;
};

#endif
