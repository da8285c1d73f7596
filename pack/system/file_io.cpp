#include "pack/system/file_io.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

#include "pack/system/platform.h"

namespace fs = std::filesystem;

namespace {

std::string SystemCause()
{
    return std::strerror(errno);
}

// A name for a file being written, in the folder of the final one: short, so
// that it fits wherever the final name does, and unpredictable, so that
// nobody can plant anything under it beforehand.
fs::path TemporaryBeside(const fs::path& path)
{
    static std::random_device random;
    char name[32];
    std::snprintf(name, sizeof name, ".sfxpack-%08x%08x.tmp", static_cast<unsigned>(random()),
                  static_cast<unsigned>(random()));
    return path.parent_path() / name;
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

std::optional<uint64_t> InputFileSize(const fs::path& path, uint64_t largest, std::string* error)
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
    return size;
}

std::optional<Bytes> ReadInputFile(const fs::path& path, uint64_t largest, std::string* error)
{
    const std::optional<uint64_t> size = InputFileSize(path, largest, error);
    if (!size)
        return std::nullopt;
    FileReader file(path);
    if (!file.Ok()) {
        *error = Shown(path) + ": cannot open it (" + file.Error() + ")";
        return std::nullopt;
    }
    Bytes bytes(static_cast<size_t>(*size));
    if (!file.ReadAt(0, bytes.data(), bytes.size())) {
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

TemporaryFile::TemporaryFile(const fs::path& target) : target_(target)
{
    // A taken name is somebody else's: try another.
    constexpr int kAttempts = 16;
    std::string why;
    for (int attempt = 0; attempt < kAttempts && !stream_; ++attempt) {
        path_ = TemporaryBeside(target);
        stream_ = CreateNewFile(path_, &why);
    }
    if (!stream_) {
        error_ = Shown(target) + ": cannot write beside it (" + why + ")";
        return;
    }
    cleanup_ = InterruptCleanup(path_, InterruptCleanup::Kind::File);
}

TemporaryFile::~TemporaryFile()
{
    if (stream_)
        std::fclose(stream_);
    if (Ok() && !renamed_) {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
}

std::FILE* TemporaryFile::TakeStream()
{
    return std::exchange(stream_, nullptr);
}

bool TemporaryFile::RenameToTarget(bool executable, std::string* error)
{
    std::error_code failure;
    if (executable)
        fs::permissions(path_, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, failure);
    fs::rename(path_, target_, failure);
    if (failure) {
        *error = Shown(target_) + ": cannot write it (" + failure.message() + ")";
        return false;
    }
    renamed_ = true;
    cleanup_.Release();
    return true;
}

FileWriter::FileWriter(TemporaryFile& file) : file_(file.TakeStream())
{
    if (!file_)
        error_ = "the file was not created";
}

FileWriter::~FileWriter()
{
    if (file_)
        std::fclose(file_);
}

bool FileWriter::Failed()
{
    if (error_.empty())
        error_ = SystemCause();
    return false;
}

bool FileWriter::Write(const uint8_t* bytes, size_t count)
{
    if (!error_.empty())
        return false;
    return std::fwrite(bytes, 1, count, file_) == count ? true : Failed();
}

bool FileWriter::Patch(uint64_t offset, const uint8_t* bytes, size_t count)
{
    if (!error_.empty())
        return false;
    if (offset > INT32_MAX) {
        error_ = "an offset past 2 GiB";
        return false;
    }
    const bool patched = std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0 &&
                         std::fwrite(bytes, 1, count, file_) == count && std::fseek(file_, 0, SEEK_END) == 0;
    return patched ? true : Failed();
}

bool FileWriter::Close()
{
    if (!file_)
        return error_.empty();
    // fclose writes out what the stream still holds: a full disk shows here.
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return closed ? error_.empty() : Failed();
}

FileReader::FileReader(const fs::path& path) : file_(OpenForReading(path, &error_))
{
    if (file_)
        accessed_ = SaveAccessTime(file_);
}

FileReader::~FileReader()
{
    if (!file_)
        return;
    RestoreAccessTime(file_, accessed_);
    std::fclose(file_);
}

bool FileReader::ReadAt(uint64_t offset, uint8_t* out, size_t count)
{
    return file_ && SeekTo(file_, offset) && ReadSome(out, count) == count;
}

size_t FileReader::ReadSome(uint8_t* out, size_t count)
{
    return file_ ? std::fread(out, 1, count, file_) : 0;
}

bool FileReader::AtEnd()
{
    if (!file_)
        return false;
    const int next = std::fgetc(file_);
    if (next == EOF)
        return !std::ferror(file_);
    std::ungetc(next, file_);
    return false;
}

std::optional<FileStamp> FileReader::Stamp(std::string* error)
{
    if (!file_) {
        *error = error_;
        return std::nullopt;
    }
    return ReadFileStamp(file_, error);
}
