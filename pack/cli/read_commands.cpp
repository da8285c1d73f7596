// sfxpack list, extract and verify: installers read as a stream, whoever made
// them, never holding more than the package's table.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pack/system/code_page.h"
#include "pack/cli/commands.h"
#include "pack/system/file_io.h"
#include "pack/system/file_times.h"
#include "pack/package/package_reader.h"

namespace fs = std::filesystem;

namespace {

// A PE image, installers included, cannot be larger.
constexpr uint64_t kLargestInstaller = uint64_t{1} << 32;

// The arguments of list and extract: paths, and --codepage CP.
struct ReadCall {
    std::vector<fs::path> positional;
    unsigned code_page = 1252;
};

// The call, when it names exactly `paths` paths; otherwise nothing, with
// `usage` or what is wrong with --codepage in *error.
std::optional<ReadCall> ParseReadCall(const Arguments& args, size_t paths, const char* usage, std::string* error)
{
    ReadCall call;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--codepage") {
            call.positional.push_back(FromUtf8(args[i]));
            continue;
        }
        const std::string option = args[i];  // before OptionValue moves past it
        const std::optional<unsigned> codePage = ParseCodePage(option, OptionValue(args, i), error);
        if (!codePage)
            return std::nullopt;
        call.code_page = *codePage;
    }
    if (call.positional.size() != paths) {
        *error = usage;
        return std::nullopt;
    }
    return call;
}

std::optional<InstallerPackage> ReadInstaller(const fs::path& path, const PackageVisitor& visitor,
                                              std::string* error)
{
    if (!InputFileSize(path, kLargestInstaller, error))
        return std::nullopt;
    std::optional<InstallerPackage> package = ReadInstallerPackage(path, visitor, error);
    if (!package && error->rfind(Shown(path) + ":", 0) != 0)
        *error = Shown(path) + ": " + *error;
    return package;
}

std::string FieldText(const char* field)
{
    return std::string(field, strnlen(field, kMergeNameSize));
}

std::string DisplayName(const char* field, unsigned codePage)
{
    const std::optional<std::string> name = CodePageToUtf8(FieldText(field), codePage);
    return name ? *name : FieldText(field);
}

// Extracting: every entry goes into a file of its own under a temporary name
// in the folder, and only once the whole package has been read and found
// sound do they take their names. A failure or an interrupt leaves nothing
// behind: no file, and no folder that the extraction created.
class Extraction {
public:
    Extraction(const fs::path& folder, unsigned codePage) : folder_(folder), codePage_(codePage) {}
    Extraction(const Extraction&) = delete;
    Extraction& operator=(const Extraction&) = delete;

    // Checks every name before anything is written: each lies directly in the
    // folder, where no file of that name may exist yet.
    bool Begin(const InstallerPackage& package, std::string* error)
    {
        std::set<fs::path> seen;
        for (const MergeEntry& entry : package.entries) {
            const std::optional<std::string> name = CodePageToUtf8(FieldText(entry.name), codePage_);
            if (!name || name->find('/') != std::string::npos)
                return Refuse(FieldText(entry.name) + ": a name this system cannot represent", error);
            const fs::path target = folder_ / FromUtf8(*name);
            std::error_code ignored;
            if (fs::symlink_status(target, ignored).type() != fs::file_type::not_found)
                return Refuse(Shown(target) + ": already exists; not overwritten", error);
            if (!seen.insert(target).second)
                return Refuse(Shown(target) + ": two entries of this name", error);
            targets_.push_back(target);
        }
        files_.resize(targets_.size());
        return CreateFolder(error);
    }

    bool Write(size_t entry, const uint8_t* bytes, size_t count, std::string* error)
    {
        if (!writer_ || entry != writing_) {
            if (!CloseWriter(error) || !CreateFile(entry, error))
                return false;
            writer_ = std::make_unique<FileWriter>(*files_[entry]);
            writing_ = entry;
        }
        return writer_->Write(bytes, count) || CloseWriter(error);
    }

    // Gives each file its name and times; empty entries get empty files.
    bool Finish(const InstallerPackage& package, std::string* error)
    {
        if (!CloseWriter(error))
            return false;
        for (size_t i = 0; i < files_.size(); ++i) {
            const MergeEntry& entry = package.entries[i];
            if (!files_[i] && (!CreateFile(i, error) || !FileWriter(*files_[i]).Close()))
                return Refuse(Shown(targets_[i]) + ": cannot write it", error);
            std::error_code ignored;
            if (fs::symlink_status(targets_[i], ignored).type() != fs::file_type::not_found)
                return Refuse(Shown(targets_[i]) + ": appeared meanwhile; not overwritten", error);
            if (!files_[i]->RenameToTarget(/*executable=*/false, error))
                return false;
            renamed_.emplace_back(targets_[i], InterruptCleanup::Kind::File);
            std::string why;
            if (!ApplyFileTimes(targets_[i], {entry.creation_time, entry.last_access_time, entry.last_write_time},
                                &why))
                Warn(Shown(targets_[i]) + ": " + why);
        }
        return true;
    }

    ~Extraction()
    {
        writer_.reset();
        files_.clear();  // removes what was not renamed
        if (finished_)
            return;
        std::error_code ignored;
        for (size_t i = 0; i < renamed_.size(); ++i)
            fs::remove(targets_[i], ignored);
        for (auto folder = createdFolders_.rbegin(); folder != createdFolders_.rend(); ++folder)
            fs::remove(*folder, ignored);  // only when empty
    }

    // The files stay: nothing is removed any more, on an interrupt either.
    void Done()
    {
        finished_ = true;
        renamed_.clear();
        folderCleanups_.clear();
    }

private:
    bool Refuse(const std::string& why, std::string* error)
    {
        *error = why;
        return false;
    }

    // The folder and every missing folder above it, noted outermost first.
    bool CreateFolder(std::string* error)
    {
        std::error_code failure;
        for (fs::path missing = folder_; !missing.empty() && !fs::exists(fs::symlink_status(missing, failure));
             missing = missing.parent_path()) {
            createdFolders_.insert(createdFolders_.begin(), missing);
            if (missing == missing.parent_path())
                break;
        }
        fs::create_directories(folder_, failure);
        for (const fs::path& folder : createdFolders_)
            folderCleanups_.emplace_back(folder, InterruptCleanup::Kind::Folder);
        if (failure)
            return Refuse(Shown(folder_) + ": cannot create it (" + failure.message() + ")", error);
        return true;
    }

    bool CreateFile(size_t entry, std::string* error)
    {
        files_[entry] = std::make_unique<TemporaryFile>(targets_[entry]);
        return files_[entry]->Ok() || Refuse(files_[entry]->Error(), error);
    }

    bool CloseWriter(std::string* error)
    {
        if (!writer_)
            return true;
        const bool closed = writer_->Close();
        const std::string cause = writer_->Error();
        writer_.reset();
        return closed || Refuse(Shown(targets_[writing_]) + ": cannot write it (" + cause + ")", error);
    }

    fs::path folder_;
    unsigned codePage_;
    std::vector<fs::path> targets_;
    std::vector<std::unique_ptr<TemporaryFile>> files_;  // each made when its entry comes
    std::unique_ptr<FileWriter> writer_;
    size_t writing_ = 0;
    std::vector<InterruptCleanup> renamed_;  // the files that have their names, in order
    std::vector<fs::path> createdFolders_;   // outermost first
    std::vector<InterruptCleanup> folderCleanups_;
    bool finished_ = false;
};

}  // namespace

int List(const Arguments& args)
{
    std::string error;
    const std::optional<ReadCall> call = ParseReadCall(args, 1, "list takes one INSTALLER.exe", &error);
    if (!call)
        return UsageError(error);
    const std::optional<InstallerPackage> package = ReadInstaller(call->positional[0], {}, &error);
    if (!package)
        return Fail(error);
    const std::string launch = DisplayName(package->header.launch_name, call->code_page);
    std::printf("launch: %s\n", launch.empty() ? "(none)" : launch.c_str());
    std::printf("%10s  %-20s  %-20s  %-20s  %s\n", "size", "created", "last access", "last write", "name");
    uint64_t total = 0;
    for (const MergeEntry& entry : package->entries) {
        std::printf("%10u  %-20s  %-20s  %-20s  %s\n", entry.size, FormatFileTime(entry.creation_time).c_str(),
                    FormatFileTime(entry.last_access_time).c_str(), FormatFileTime(entry.last_write_time).c_str(),
                    DisplayName(entry.name, call->code_page).c_str());
        total += entry.size;
    }
    std::printf("%zu entries, %llu bytes\n", package->entries.size(), static_cast<unsigned long long>(total));
    return 0;
}

int Extract(const Arguments& args)
{
    std::string error;
    const std::optional<ReadCall> call = ParseReadCall(args, 2, "extract takes INSTALLER.exe DIR", &error);
    if (!call)
        return UsageError(error);
    const fs::path folder = call->positional[1];
    std::error_code ignored;
    const fs::file_type type = fs::status(folder, ignored).type();
    if (type != fs::file_type::not_found && type != fs::file_type::directory)
        return Fail(Shown(folder) + ": not a folder");

    Extraction extraction(folder, call->code_page);
    PackageVisitor visitor;
    visitor.on_table = [&](const InstallerPackage& package, std::string* why) { return extraction.Begin(package, why); };
    visitor.on_contents = [&](size_t entry, const uint8_t* bytes, size_t count, std::string* why) {
        return extraction.Write(entry, bytes, count, why);
    };
    const std::optional<InstallerPackage> package = ReadInstaller(call->positional[0], visitor, &error);
    if (!package || !extraction.Finish(*package, &error))
        return Fail(error);
    extraction.Done();
    std::printf("%zu files written to %s\n", package->entries.size(), Shown(folder).c_str());
    return 0;
}

int Verify(const Arguments& args)
{
    if (args.size() != 1)
        return UsageError("verify takes one INSTALLER.exe");
    std::string error;
    const std::optional<InstallerPackage> package = ReadInstaller(FromUtf8(args[0]), {}, &error);
    if (!package)
        return Fail(error);
    const std::vector<std::string> flaws = FindPackageFlaws(*package);
    for (const std::string& flaw : flaws)
        Fail(args[0] + ": " + flaw);
    if (!flaws.empty())
        return 1;
    std::printf("%s: sound: %zu entries, %llu bytes inflated from %llu, Adler-32 checked\n", args[0].c_str(),
                package->entries.size(), static_cast<unsigned long long>(package->merge_size),
                static_cast<unsigned long long>(package->resource_size));
    return 0;
}
