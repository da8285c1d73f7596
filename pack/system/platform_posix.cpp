#include "pack/system/platform.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

namespace {

// A line of /proc/self/status such as "VmSize:  123456 kB", in bytes; 0 when
// the system does not say.
uint64_t ProcessStatusBytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::strtoull(line.c_str() + field.size(), nullptr, 10) * 1024;
    return 0;
}

}  // namespace

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

std::optional<uint64_t> AddressSpaceLeft()
{
    std::optional<uint64_t> left;
    const std::pair<int, const char*> limits[] = {{RLIMIT_AS, "VmSize:"}, {RLIMIT_DATA, "VmData:"}};
    for (const auto& [resource, field] : limits) {
        rlimit limit{};
        if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
            continue;
        const uint64_t used = ProcessStatusBytes(field);
        const uint64_t room = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
        left = std::min(left.value_or(room), room);
    }
    return left;
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

namespace {

// The descriptor a path names by its spelling alone.
std::optional<int> DescriptorSpelledBy(const std::filesystem::path& path)
{
    const std::string text = path.lexically_normal().string();
    if (text == "/dev/stdin")
        return STDIN_FILENO;
    if (text == "/dev/stdout")
        return STDOUT_FILENO;
    if (text == "/dev/stderr")
        return STDERR_FILENO;
    const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
    for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"), own}) {
        const std::string number = text.starts_with(prefix) ? text.substr(prefix.size()) : "";
        if (!number.empty() && number.size() <= 9 && number.find_first_not_of("0123456789") == std::string::npos)
            return std::stoi(number);
    }
    return std::nullopt;
}

bool SameOpenFile(int a, int b)
{
    struct stat first {}, second {};
    return fstat(a, &first) == 0 && fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

}  // namespace

std::optional<int> OwnDescriptor(const std::filesystem::path& path)
{
    // Followed link by link, as the system would: a link to /dev/fd/5 is
    // descriptor 5 too. 40 links, as Linux follows at most.
    std::filesystem::path hop = path;
    for (int links = 0; links <= 40; ++links) {
        if (const std::optional<int> descriptor = DescriptorSpelledBy(hop))
            return descriptor;
        std::error_code failure;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(hop, failure)))
            return std::nullopt;
        const std::filesystem::path target = std::filesystem::read_symlink(hop, failure);
        if (failure)
            return std::nullopt;
        hop = target.is_absolute() ? target : hop.parent_path() / target;
    }
    return std::nullopt;
}

bool DescriptorIsOpen(int descriptor)
{
    return fcntl(descriptor, F_GETFL) != -1;
}

bool DescriptorIsWritable(int descriptor)
{
    const int mode = fcntl(descriptor, F_GETFL);
    return mode != -1 && (mode & O_ACCMODE) != O_RDONLY;
}

std::FILE* StreamOnDescriptor(int descriptor)
{
    return descriptor == STDOUT_FILENO ? stdout : fdopen(descriptor, "wb");
}

bool DescriptorIsFile(int descriptor, const std::filesystem::path& path)
{
    struct stat open {}, named {};
    return fstat(descriptor, &open) == 0 && stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

bool DescriptorIsStandardOutput(int descriptor)
{
    return descriptor == STDOUT_FILENO || SameOpenFile(descriptor, STDOUT_FILENO);
}

bool DescriptorIsStandardError(int descriptor)
{
    return descriptor == STDERR_FILENO || SameOpenFile(descriptor, STDERR_FILENO);
}

bool DescriptorIsTerminal(int descriptor)
{
    return isatty(descriptor) != 0;
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
AccessTime SaveAccessTime(const std::filesystem::path&)
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
