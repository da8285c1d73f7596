// A process of its own that keeps rewriting a file in place, a byte at a time
// and its size unchanged, from its construction to its destruction: whatever
// reads the file meanwhile overlaps a change, however fast or slow it reads.
// POSIX only.
#ifndef SFX_TESTS_SUPPORT_FILE_REWRITER_H
#define SFX_TESTS_SUPPORT_FILE_REWRITER_H

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>

class FileRewriter {
public:
    // With keepWriteTime, each write is followed by putting the file's last
    // write time back, as a program that hides its writes would: only the
    // change time moves. Returns once the first write is done.
    FileRewriter(const std::string& path, bool keepWriteTime)
    {
        int ready[2];
        if (pipe(ready) != 0)
            return;
        child_ = fork();
        if (child_ == 0)
            Rewrite(path, keepWriteTime, ready[1]);
        close(ready[1]);
        char done;
        if (child_ > 0 && read(ready[0], &done, 1) != 1)
            Stop();
        close(ready[0]);
    }
    ~FileRewriter() { Stop(); }
    FileRewriter(const FileRewriter&) = delete;
    FileRewriter& operator=(const FileRewriter&) = delete;

private:
    [[noreturn]] static void Rewrite(const std::string& path, bool keepWriteTime, int ready)
    {
        const int file = open(path.c_str(), O_WRONLY);
        struct stat status {};
        if (file < 0 || fstat(file, &status) != 0 || status.st_size == 0)
            _exit(1);
        const timespec times[2] = {{0, UTIME_OMIT}, status.st_mtim};
        for (uint64_t i = 0;; ++i) {  // until the test kills it
            const char byte = static_cast<char>(i);
            if (pwrite(file, &byte, 1, static_cast<off_t>(i * 4099 % static_cast<uint64_t>(status.st_size))) != 1)
                _exit(1);
            if (keepWriteTime)
                futimens(file, times);
            if (i == 0 && (write(ready, "", 1) != 1 || close(ready) != 0))
                _exit(1);
            usleep(200);
        }
    }

    void Stop()
    {
        if (child_ <= 0)
            return;
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
        child_ = -1;
    }

    pid_t child_ = -1;
};

#endif
