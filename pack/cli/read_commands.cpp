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
#include "pack/cli/help.h"
#include "pack/cli/printable_text.h"
#include "pack/system/file_io.h"
#include "pack/system/file_times.h"
#include "pack/system/paths.h"
#include "pack/package/package_locator.h"
#include "pack/package/package_reader.h"
#include "pack/pe/stub_preparation.h"

namespace fs = std::filesystem;

namespace {

// A PE image, installers included, cannot be larger.
constexpr uint64_t kLargestInstaller = uint64_t{1} << 32;

// The call of list, extract or verify: its operands, --codepage CP, and for
// list --format.
struct ReadCall {
    std::vector<fs::path> positional;
    unsigned code_page = 1252;
    std::string format = "table";
    bool quiet = false;
    bool help = false;
};

// The call, when it names exactly `paths` paths; otherwise nothing, with
// `usage` or what is wrong with an option in *error.
std::optional<ReadCall> ParseReadCall(const Arguments& args, const std::vector<OptionSpec>& specs, size_t paths,
                                      const char* usage, std::string* error)
{
    const std::optional<ParsedCall> parsed = ParseCall(args, specs, error);
    if (!parsed)
        return std::nullopt;
    ReadCall call;
    for (const auto& [name, value] : parsed->options) {
        call.quiet |= name == "--quiet";
        call.help |= name == "--help";
        if (name == "--format") {
            if (value != "table" && value != "tsv" && value != "json") {
                *error = OptionGiven(name, value) + ": not table, tsv or json";
                return std::nullopt;
            }
            call.format = value;
        } else if (name == "--codepage") {
            const std::optional<unsigned> codePage = ParseCodePage(value, error);
            if (!codePage)
                return std::nullopt;
            call.code_page = *codePage;
        }
    }
    for (const std::string& operand : parsed->operands)
        call.positional.push_back(FromUtf8(operand));
    if (call.positional.size() != paths && !call.help) {
        *error = usage;
        return std::nullopt;
    }
    return call;
}

std::optional<InstallerPackage> ReadInstaller(const fs::path& path, unsigned codePage, const PackageVisitor& visitor,
                                              std::string* error)
{
    if (!InputFileSize(path, kLargestInstaller, error))
        return std::nullopt;
    std::optional<InstallerPackage> package = ReadInstallerPackage(path, codePage, visitor, error);
    if (!package && error->rfind(Shown(path) + ":", 0) != 0)
        *error = Shown(path) + ": " + *error;
    return package;
}

std::string FieldText(const char* field)
{
    return std::string(field, strnlen(field, kMergeNameSize));
}

// A name as UTF-8, for JSON; raw when the code page gives it no meaning.
std::string DisplayName(const char* field, unsigned codePage)
{
    const std::optional<std::string> name = CodePageToUtf8(FieldText(field), codePage);
    return name ? *name : FieldText(field);
}

// A name for a terminal or a line of tsv: control characters escaped, so a
// package's names can neither forge lines nor move the cursor.
std::string ShownName(const char* field, unsigned codePage)
{
    return Printable(DisplayName(field, codePage));
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

// A time for scripts: ISO 8601 to the 100 ns a FILETIME holds.
std::string PreciseTime(uint64_t fileTime)
{
    std::string text = FormatFileTime(fileTime);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%07u", static_cast<unsigned>(fileTime % 10000000));
    return text.insert(text.size() - 1, fraction);
}

void PrintTable(const InstallerPackage& package, const ReadCall& call)
{
    const std::string launch = ShownName(package.header.launch_name, call.code_page);
    std::printf("launch: %s\n", launch.empty() ? "(none)" : launch.c_str());
    std::printf("%10s  %-20s  %-20s  %-20s  %s\n", "size", "created", "last access", "last write", "name");
    uint64_t total = 0;
    for (const MergeEntry& entry : package.entries) {
        std::printf("%10u  %-20s  %-20s  %-20s  %s\n", entry.size, FormatFileTime(entry.creation_time).c_str(),
                    FormatFileTime(entry.last_access_time).c_str(), FormatFileTime(entry.last_write_time).c_str(),
                    ShownName(entry.name, call.code_page).c_str());
        total += entry.size;
    }
    if (!call.quiet)
        std::printf("%s, %s\n", Count(package.entries.size(), "entry", "entries").c_str(),
                    Count(total, "byte", "bytes").c_str());
}

bool IsLaunch(const InstallerPackage& package, const MergeEntry& entry)
{
    return package.header.launch_name[0] != '\0' &&
           FieldText(entry.name) == FieldText(package.header.launch_name);
}

void PrintTsv(const InstallerPackage& package, const ReadCall& call)
{
    for (const MergeEntry& entry : package.entries)
        std::printf("%u\t%s\t%s\t%s\t%d\t%s\n", entry.size, PreciseTime(entry.creation_time).c_str(),
                    PreciseTime(entry.last_access_time).c_str(), PreciseTime(entry.last_write_time).c_str(),
                    IsLaunch(package, entry) ? 1 : 0, ShownName(entry.name, call.code_page).c_str());
}

void PrintJson(const InstallerPackage& package, const ReadCall& call)
{
    const std::string launch = DisplayName(package.header.launch_name, call.code_page);
    std::printf("{\"launch\": %s, \"entries\": [", launch.empty() ? "null" : JsonString(launch).c_str());
    for (size_t i = 0; i < package.entries.size(); ++i) {
        const MergeEntry& entry = package.entries[i];
        std::printf("%s\n  {\"name\": %s, \"size\": %u, \"created\": \"%s\", \"accessed\": \"%s\", "
                    "\"written\": \"%s\"}",
                    i ? "," : "", JsonString(DisplayName(entry.name, call.code_page)).c_str(), entry.size,
                    PreciseTime(entry.creation_time).c_str(), PreciseTime(entry.last_access_time).c_str(),
                    PreciseTime(entry.last_write_time).c_str());
    }
    std::printf("\n]}\n");
}

// A sound package in a program that is no installer stub is never unpacked;
// said as create says it, a warning, since the stub may be a vendor's own.
void WarnUnlessAStub(const fs::path& path)
{
    std::error_code failure;
    const uint64_t size = fs::file_size(path, failure);
    FileReader file(path);
    std::string error;
    const std::optional<ResourceLayout> layout =
        !failure && file.Ok() ? ReadResourceLayout(file, size, &error) : std::nullopt;
    if (layout)
        if (const std::optional<std::string> missing = MissingStubResources(layout->tree))
            Warn(Shown(path) + ": " + *missing);
}

const std::vector<OptionSpec> kListOptions = {{"--codepage", 0, true}, {"--format", 0, true}};

}  // namespace

int List(const Arguments& args)
{
    std::string error;
    const std::optional<ReadCall> call =
        ParseReadCall(args, kListOptions, 1, "list takes one INSTALLER.exe", &error);
    if (!call)
        return UsageError(error);
    if (call->help)
        return PrintCommandHelp("list"), 0;
    const std::optional<InstallerPackage> package = ReadInstaller(call->positional[0], call->code_page, {}, &error);
    if (!package)
        return Fail(error);
    if (call->format == "tsv")
        PrintTsv(*package, *call);
    else if (call->format == "json")
        PrintJson(*package, *call);
    else
        PrintTable(*package, *call);
    return 0;
}

int Extract(const Arguments& args)
{
    std::string error;
    const std::optional<ReadCall> call =
        ParseReadCall(args, {{"--codepage", 0, true}}, 2, "extract takes INSTALLER.exe DIR", &error);
    if (!call)
        return UsageError(error);
    if (call->help)
        return PrintCommandHelp("extract"), 0;
    if (call->positional[1].empty())
        return UsageError("extract: DIR is an empty name; . is the current folder");
    const fs::path folder = call->positional[1];
    std::error_code ignored;
    const fs::file_type type = fs::status(folder, ignored).type();
    if (IsDevice(folder) || (type != fs::file_type::not_found && type != fs::file_type::directory))
        return Fail(Shown(folder) + ": not a folder");
    if (type == fs::file_type::not_found && fs::is_symlink(fs::symlink_status(folder, ignored)))
        return Fail(Shown(folder) + ": a symbolic link to " + Shown(fs::read_symlink(folder, ignored)) +
                    ", which does not exist; not followed");

    Extraction extraction(folder, call->code_page);
    PackageVisitor visitor;
    visitor.on_table = [&](const InstallerPackage& package, std::string* why) { return extraction.Begin(package, why); };
    visitor.on_contents = [&](size_t entry, const uint8_t* bytes, size_t count, std::string* why) {
        return extraction.Write(entry, bytes, count, why);
    };
    const std::optional<InstallerPackage> package = ReadInstaller(call->positional[0], call->code_page, visitor, &error);
    if (!package || !extraction.Finish(*package, &error))
        return Fail(error);
    extraction.Done();
    if (!call->quiet)
        std::printf("%s written to %s\n", Count(package->entries.size(), "file", "files").c_str(),
                    Shown(folder).c_str());
    return 0;
}

int Verify(const Arguments& args)
{
    std::string error;
    const std::optional<ReadCall> call =
        ParseReadCall(args, {{"--codepage", 0, true}}, 1, "verify takes one INSTALLER.exe", &error);
    if (!call)
        return UsageError(error);
    if (call->help)
        return PrintCommandHelp("verify"), 0;
    const std::string shown = Shown(call->positional[0]);
    const std::optional<InstallerPackage> package = ReadInstaller(call->positional[0], call->code_page, {}, &error);
    if (!package)
        return Fail(error);
    const std::vector<std::string> flaws = FindPackageFlaws(*package, call->code_page);
    for (const std::string& flaw : flaws)
        Fail(shown + ": " + flaw);
    if (!flaws.empty())
        return 1;
    WarnUnlessAStub(call->positional[0]);
    if (!call->quiet)
        std::printf("%s: sound: %s, %s inflated from %llu, Adler-32 checked\n", shown.c_str(),
                    Count(package->entries.size(), "entry", "entries").c_str(),
                    Count(package->merge_size, "byte", "bytes").c_str(),
                    static_cast<unsigned long long>(package->resource_size));
    return 0;
}
