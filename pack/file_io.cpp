#include "pack/file_io.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string SystemCause()
{
    return std::strerror(errno);
}

// A name for the file being written, in the folder of the final one: short,
// so that it fits wherever the final name does.
fs::path TemporaryBeside(const fs::path& path)
{
    static unsigned serial = 0;
    return path.parent_path() / (".sfxpack-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".tmp");
}

// Why `path` cannot be written before trying: a folder in its place, or no
// folder to hold it.
std::optional<std::string> OutputObstacle(const fs::path& path)
{
    std::error_code failure;
    if (fs::is_directory(path, failure))
        return "a folder; name the file to write";
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    const fs::file_status status = fs::status(folder, failure);
    if (status.type() == fs::file_type::not_found)
        return "cannot write it: the folder " + Shown(folder) + " does not exist";
    if (status.type() != fs::file_type::directory && !failure)
        return "cannot write it: " + Shown(folder) + " is not a folder";
    return std::nullopt;
}

}  // namespace

std::string Shown(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path FromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

bool IsRegularFile(const fs::path& path, std::string* why)
{
    std::error_code failure;
    const fs::file_status status = fs::status(path, failure);
    switch (status.type()) {
    case fs::file_type::regular:
        return true;
    case fs::file_type::not_found:
        *why = "no such file";
        return false;
    case fs::file_type::directory:
        *why = "a folder, not a file";
        return false;
    case fs::file_type::none:
    case fs::file_type::unknown:
        *why = "cannot look at it (" + failure.message() + ")";
        return false;
    default:
        *why = "not a regular file (a device, a pipe or a socket)";
        return false;
    }
}

std::optional<Bytes> ReadInputFile(const fs::path& path, uint64_t largest, std::string* error)
{
    std::string why;
    if (!IsRegularFile(path, &why)) {
        *error = Shown(path) + ": " + why;
        return std::nullopt;
    }
    std::error_code failure;
    const uintmax_t size = fs::file_size(path, failure);
    if (failure) {
        *error = Shown(path) + ": cannot read its size (" + failure.message() + ")";
        return std::nullopt;
    }
    if (size > largest) {
        *error = Shown(path) + ": " + std::to_string(size) + " bytes, more than the " + std::to_string(largest) +
                 " that it can be";
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = Shown(path) + ": cannot open it (" + SystemCause() + ")";
        return std::nullopt;
    }
    Bytes bytes(static_cast<size_t>(size));
    try {  // the runtime's file buffer throws on a failed read
        file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    } catch (const std::exception&) {
        file.setstate(std::ios::badbit);
    }
    if (!file || file.gcount() != static_cast<std::streamsize>(size)) {
        *error = Shown(path) + ": cannot read it (" + SystemCause() + ")";
        return std::nullopt;
    }
    return bytes;
}

bool CanWriteOutput(const fs::path& path, std::string* error)
{
    if (const std::optional<std::string> obstacle = OutputObstacle(path)) {
        *error = Shown(path) + ": " + *obstacle;
        return false;
    }
    return true;
}

bool WriteOutputFile(const fs::path& path, const Bytes& bytes, bool executable, std::string* error)
{
    if (!CanWriteOutput(path, error))
        return false;
    const fs::path temporary = TemporaryBeside(path);
    std::string cause;
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file)
            cause = SystemCause();
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file && cause.empty())
            cause = SystemCause();
    }
    std::error_code failure;
    if (cause.empty() && executable)
        fs::permissions(temporary, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, failure);
    if (cause.empty()) {
        fs::rename(temporary, path, failure);
        if (failure)
            cause = failure.message();
    }
    if (cause.empty())
        return true;
    std::error_code ignored;
    fs::remove(temporary, ignored);
    *error = Shown(path) + ": cannot write it (" + cause + ")";
    return false;
}
