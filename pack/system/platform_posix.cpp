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

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

void UseUtf8Console() {}

std::optional<std::vector<FolderItem>> ListFolder(const std::filesystem::path& folder, std::string* why)
{
    std::error_code failure;
    std::vector<FolderItem> items;
    for (const std::filesystem::directory_entry& item : std::filesystem::directory_iterator(folder, failure)) {
        std::error_code ignored;
        items.push_back({item.path(), item.is_directory(ignored)});
    }
    if (failure) {
        *why = failure.message();
        return std::nullopt;
    }
    return items;
}

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

bool StandardOutputIsTerminal()
{
    return isatty(STDOUT_FILENO) != 0;
}

std::FILE* BinaryStandardOutput()
{
    return stdout;
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

std::FILE* BinaryStandardInput()
{
    return stdin;
}

// O_NOATIME did it already, or the system keeps its own rules (relatime).
AccessTime SaveAccessTime(std::FILE*)
{
    return {};
}

void RestoreAccessTime(std::FILE*, const AccessTime&) {}

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
