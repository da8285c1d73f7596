#include "pack/system/platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::filesystem::path ThisProgram()
{
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored);
}

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

std::FILE* OpenForReading(const std::filesystem::path& path, std::string* why)
{
    // O_NOATIME is for the file's owner (and root); others read as usual.
    int descriptor = open(path.c_str(), O_RDONLY | O_NOATIME | O_CLOEXEC);
    if (descriptor < 0 && errno == EPERM)
        descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::FILE* file = descriptor >= 0 ? fdopen(descriptor, "rb") : nullptr;
    if (!file) {
        *why = std::strerror(errno);
        if (descriptor >= 0)
            close(descriptor);
    }
    return file;
}

bool SeekTo(std::FILE* file, uint64_t offset)
{
    return offset <= INT64_MAX && fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::FILE* CreateNewFile(const std::filesystem::path& path, std::string* why)
{
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    std::FILE* file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (!file) {
        *why = std::strerror(errno);
        if (descriptor >= 0) {
            close(descriptor);
            unlink(path.c_str());
        }
    }
    return file;
}
