#include "pack/system/file_io.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

#include "pack/system/paths.h"
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
fs::path TemporaryIn(const fs::path& folder)
{
    static std::random_device random;
    char name[32];
    std::snprintf(name, sizeof name, ".sfxpack-%08x%08x.tmp", static_cast<unsigned>(random()),
                  static_cast<unsigned>(random()));
    return folder / name;
}

// What a file that is not a regular one is, as its owner would call it.
std::string KindOf(fs::file_type type)
{
    switch (type) {
    case fs::file_type::directory:
        return "a folder";
    case fs::file_type::character:
        return "a character device";
    case fs::file_type::block:
        return "a block device";
    case fs::file_type::fifo:
        return "a FIFO";
    case fs::file_type::socket:
        return "a socket";
    case fs::file_type::symlink:
        return "a symbolic link";
    default:
        return "neither a file nor a folder";
    }
}

// Why `path`, a link already followed, cannot be written before trying:
// anything but a regular file in its place, or no folder to hold it.
std::optional<std::string> OutputObstacle(const fs::path& path)
{
    std::error_code failure;
    if (IsDevice(path))
        return "not a regular file (a device); not replaced (-o - writes to standard output)";
    const fs::file_status there = fs::symlink_status(path, failure);
    if (there.type() == fs::file_type::directory)
        return "a folder; name the file to write";
    if (there.type() == fs::file_type::none || there.type() == fs::file_type::unknown)
        return "cannot look at it (" + failure.message() + ")";
    // Renaming over a device or a FIFO would take it from every program that
    // uses it; a name for standard output (/dev/stdout) is refused with it.
    if (there.type() != fs::file_type::regular && there.type() != fs::file_type::not_found)
        return "not a regular file (" + KindOf(there.type()) + "); not replaced (-o - writes to standard output)";
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
    return UsualForm(fs::path(std::u8string(text.begin(), text.end())));
}

bool IsRegularFile(const fs::path& path, std::string* why)
{
    std::error_code failure;
    const fs::file_status status = fs::status(path, failure);
    switch (status.type()) {
    case fs::file_type::regular:
        return true;
    case fs::file_type::not_found:
        // A link to nowhere is there to see in a listing: say so.
        *why = fs::is_symlink(fs::symlink_status(path, failure))
                   ? "a symbolic link to " + Shown(fs::read_symlink(path, failure)) + ", which does not exist"
                   : "no such file";
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

std::optional<fs::path> OutputFile(const fs::path& path, std::string* error)
{
    std::error_code failure;
    fs::path file = path;
    if (fs::is_symlink(fs::symlink_status(path, failure))) {
        const std::string link = Shown(path) + ": a symbolic link to " + Shown(fs::read_symlink(path, failure));
        const fs::file_type target = fs::status(path, failure).type();
        // A link to nowhere is not written through, as cp does not: the file
        // it would make may be anywhere.
        if (target == fs::file_type::not_found) {
            *error = link + ", which does not exist; not written through";
            return std::nullopt;
        }
        if (target != fs::file_type::regular) {
            *error = target == fs::file_type::none || target == fs::file_type::unknown
                         ? link + ", which cannot be followed (" + failure.message() + ")"
                         : link + ", not a regular file (" + KindOf(target) +
                               "); not replaced (-o - writes to standard output)";
            return std::nullopt;
        }
        // The new file goes beside the one named, and is renamed over it.
        file = fs::canonical(path, failure);
        if (failure) {
            *error = link + ", which cannot be followed (" + failure.message() + ")";
            return std::nullopt;
        }
    }
    if (const std::optional<std::string> obstacle = OutputObstacle(file)) {
        *error = Shown(file) + ": " + *obstacle;
        return std::nullopt;
    }
    return file;
}

fs::path TemporaryFolder()
{
    std::error_code failure;
    const fs::path folder = fs::temp_directory_path(failure);
    return failure || folder.empty() ? fs::path(".") : folder;
}

TemporaryFile::TemporaryFile(const fs::path& target) : target_(target)
{
    Create(target.parent_path(), Shown(target) + ": cannot write beside it");
}

TemporaryFile::TemporaryFile(const fs::path& folder, const std::string& shown)
{
    Create(folder, shown + ": cannot write a temporary file in " + Shown(folder));
}

void TemporaryFile::Create(const fs::path& folder, const std::string& failed)
{
    // A taken name is somebody else's: try another.
    constexpr int kAttempts = 16;
    std::string why;
    for (int attempt = 0; attempt < kAttempts && !stream_; ++attempt) {
        path_ = TemporaryIn(folder);
        stream_ = CreateNewFile(path_, &why);
    }
    if (!stream_) {
        error_ = failed + " (" + why + ")";
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
    // Looked at again: what was a file when the work began may have been
    // swapped for a device or a link meanwhile, which a rename would replace.
    const fs::file_type there = fs::symlink_status(target_, failure).type();
    if (there != fs::file_type::not_found && there != fs::file_type::regular) {
        *error = Shown(target_) + ": not a regular file (" + KindOf(there) + "); not replaced";
        return false;
    }
    // The file replaced keeps who may read and write it, so a private
    // installer stays private; whoever may read an installer may run it.
    fs::perms mode = fs::status(there == fs::file_type::regular ? target_ : path_, failure).permissions();
    if (executable) {
        using enum fs::perms;
        for (const auto& [read, run] : {std::pair{owner_read, owner_exec}, {group_read, group_exec},
                                       {others_read, others_exec}})
            if ((mode & read) != none)
                mode |= run;
    }
    fs::permissions(path_, mode, failure);
    fs::rename(path_, target_, failure);
    if (failure) {
        *error = Shown(target_) + ": cannot write it (" + failure.message() + ")";
        return false;
    }
    renamed_ = true;
    cleanup_.Release();
    return true;
}

FileWriter::FileWriter(TemporaryFile& file) : file_(file.TakeStream()), owned_(true)
{
    if (!file_)
        error_ = "the file was not created";
}

FileWriter::FileWriter(std::FILE* stream) : file_(stream), owned_(false) {}

FileWriter::~FileWriter()
{
    if (file_ && owned_)
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
    // Nothing to write: an empty buffer may have no bytes at all (a null
    // data()), which fwrite must never be given.
    if (count == 0)
        return true;
    return std::fwrite(bytes, 1, count, file_) == count ? true : Failed();
}

bool FileWriter::Close()
{
    if (!file_)
        return error_.empty();
    // fclose and fflush write out what the stream still holds: a full disk
    // or a closed pipe shows here.
    const bool closed = owned_ ? std::fclose(file_) == 0 : std::fflush(file_) == 0;
    file_ = nullptr;
    return closed ? error_.empty() : Failed();
}

FileReader::FileReader(const fs::path& path) : accessed_(SaveAccessTime(path))
{
    file_ = OpenForReading(path, &error_);
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
