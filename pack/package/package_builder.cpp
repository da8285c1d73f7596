#include "pack/package/package_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <map>
#include <set>

#include "extract/merge_format.h"
#include "extract/run_folder_name.h"
#include "pack/system/code_page.h"
#include "pack/system/file_io.h"
#include "pack/system/paths.h"
#include "pack/system/platform.h"
#include "pack/package/installable_names.h"
#include "pack/package/package_limits.h"
#include "pack/package/parallel_deflate.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kLargestEntry = 0xFFFFFFFFu;  // sizes are 32-bit

// What GNU tar says of a file whose status moved while it was read.
constexpr const char* kChangedWhileRead = "file changed as we read it";

// Temporary folders run to 60 characters and more ("C:\Documents and
// Settings\<user>\Local Settings\Temp\"): longer names are a risk.
constexpr size_t kDeepTemporaryFolder = 80;


void ClampTimes(FileTimes* times, uint64_t latest)
{
    times->creation = std::min(times->creation, latest);
    times->last_access = std::min(times->last_access, latest);
    times->last_write = std::min(times->last_write, latest);
}

// The name as the package stores it, when the installer can create it.
std::optional<std::string> StoredName(const std::string& utf8, unsigned codePage, std::string* why)
{
    const std::optional<std::string> name = Utf8ToCodePage(utf8, codePage, why);
    if (!name)
        return std::nullopt;
    if (const std::optional<std::string> refusal = WhyNotInstallable(*name, codePage)) {
        *why = *refusal;
        return std::nullopt;
    }
    return name;
}

// One file, checked; adds a line to *problems for each thing wrong with it.
std::optional<PackEntry> Examine(const fs::path& path, const PackOptions& options, std::vector<std::string>* problems,
                                 std::vector<std::string>* warnings)
{
    const std::string shown = Shown(path);
    auto refuse = [&](const std::string& why) {
        problems->push_back(shown + ": " + why);
        return std::nullopt;
    };
    std::string why;
    if (!IsRegularFile(path, &why))
        return refuse(why);
    std::error_code failure;
    const uintmax_t size = fs::file_size(path, failure);
    if (failure)
        return refuse("cannot read its size (" + failure.message() + ")");
    if (size == 0)
        return refuse("empty; the package format cannot carry an empty file");
    if (size > kLargestEntry)
        return refuse("4 GiB or larger; the package records sizes in 32 bits");

    PackEntry entry{path, "", Shown(path.filename()), {}, static_cast<uint32_t>(size), {}, {}};
    const std::optional<std::string> name = StoredName(entry.display_name, options.code_page, &why);
    if (!name)
        return refuse(why);
    // The installer's temporary copy goes into a folder of its own in the
    // temporary folder.
    if (name->size() + kRunFolderNameLength > kLongestInstallablePath - kDeepTemporaryFolder)
        warnings->push_back(shown + ": its name is " + std::to_string(name->size()) +
                            " bytes long; it installs only where the temporary folder's path is at most " +
                            std::to_string(kLongestInstallablePath - kRunFolderNameLength - name->size()) +
                            " characters long");
    entry.name = *name;
    const std::optional<FileTimes> times = ReadFileTimes(path, &why, &entry.stamp);
    if (!times)
        return refuse(why);
    if (entry.stamp.size != size)
        return refuse(kChangedWhileRead);
    if (const FileReader probe(path); !probe.Ok())
        return refuse("cannot read it (" + probe.Error() + ")");
    entry.times = *times;
    if (options.times_from_last_write)
        entry.times.creation = entry.times.last_access = entry.times.last_write;
    if (options.latest_time)
        ClampTimes(&entry.times, *options.latest_time);
    return entry;
}

bool IsInside(const fs::path& path, const fs::path& folder)
{
    const auto [inFolder, inPath] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return inFolder == folder.end() || (inFolder->empty() && std::next(inFolder) == folder.end());
}

// A link in a folder is followed, as people pack build folders full of them;
// one that leads out of every folder given may ship what was never meant to
// go (/etc/passwd), and is said.
void WarnOfLinkOut(const fs::path& file, const std::vector<fs::path>& folders, std::vector<std::string>* warnings)
{
    std::error_code failure;
    if (!fs::is_symlink(fs::symlink_status(file, failure)))
        return;
    const fs::path target = fs::canonical(file, failure);
    if (failure)
        return;  // a dangling link: refused as a file that is not there
    for (const fs::path& folder : folders)
        if (IsInside(target, folder))
            return;
    warnings->push_back(Shown(file) + ": a link to " + Shown(target) +
                        ", outside the folders given; packed as the file it leads to");
}

// The files a path stands for: itself, or the files of a folder.
std::vector<fs::path> Expand(const fs::path& path, const std::vector<fs::path>& folders,
                             std::vector<std::string>* problems, std::vector<std::string>* warnings)
{
    std::error_code failure;
    if (!fs::is_directory(path, failure))
        return {path};
    std::string why;
    const std::optional<std::vector<FolderItem>> items = ListFolder(path, &why);
    if (!items) {
        problems->push_back(Shown(path) + ": cannot list it (" + why + ")");
        return {};
    }
    std::vector<fs::path> files;
    for (const FolderItem& item : *items) {
        if (item.is_folder)
            problems->push_back(Shown(item.path) + ": a folder inside a folder, and a package has no folders; "
                                "to pack its files, name them (" + Shown(item.path / "*") + ")");
        else
            files.push_back(item.path);
        WarnOfLinkOut(item.path, folders, warnings);
    }
    return files;
}

}  // namespace

std::optional<PackPlan> PlanPackage(const PackOptions& options, std::vector<std::string>* problems)
{
    PackPlan plan;
    // A file named twice, or a folder given twice, is packed once, and said
    // once: the folder, not each of its files.
    std::set<std::string> seenPaths, seenFiles;
    std::vector<fs::path> folders;  // given, as their links resolve
    for (const fs::path& path : options.paths) {
        std::error_code failure;
        if (fs::is_directory(path, failure))
            folders.push_back(fs::weakly_canonical(path, failure));
    }
    for (const fs::path& path : options.paths) {
        const std::optional<std::string> named = FileIdentity(path.has_filename() ? path : path.parent_path());
        if (named && !seenPaths.insert(*named).second) {
            plan.warnings.push_back(Shown(path) + ": given more than once; packed once");
            continue;
        }
        for (const fs::path& file : Expand(path, folders, problems, &plan.warnings)) {
            const std::optional<std::string> identity = FileIdentity(file);
            if (identity && !seenFiles.insert(*identity).second) {
                plan.warnings.push_back(Shown(file) + ": given more than once; packed once");
                continue;
            }
            if (std::optional<PackEntry> entry = Examine(file, options, problems, &plan.warnings))
                plan.entries.push_back(std::move(*entry));
        }
    }
    if (plan.entries.empty() && problems->empty())
        problems->push_back("no files to pack");
    if (plan.entries.size() > kMostEntries)
        problems->push_back(std::to_string(plan.entries.size()) + " files, more than the " +
                            std::to_string(kMostEntries) + " of a package that sfxpack reads");

    // Sorted, and compared, as the installer compares names on a system of
    // the package's code page.
    for (PackEntry& entry : plan.entries)
        entry.key = CaseFoldedKey(entry.name, options.code_page);
    std::sort(plan.entries.begin(), plan.entries.end(), [](const PackEntry& a, const PackEntry& b) {
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
    for (size_t i = 1; i < plan.entries.size(); ++i)
        if (plan.entries[i - 1].key == plan.entries[i].key)
            problems->push_back(Shown(plan.entries[i].path) + ": same name as " + Shown(plan.entries[i - 1].path) +
                                " on Windows, where case does not count");

    auto findEntry = [&](const std::string& utf8) -> const PackEntry* {
        std::string why;
        const std::optional<std::string> name = Utf8ToCodePage(utf8, options.code_page, &why);
        for (const PackEntry& entry : plan.entries)
            if (name && entry.key == CaseFoldedKey(*name, options.code_page))
                return &entry;
        return nullptr;
    };
    if (options.launch && !options.no_launch) {
        const PackEntry* launch = findEntry(*options.launch);
        if (launch)
            plan.launch = launch->name;
        else
            problems->push_back(*options.launch + ": the launch file is not among the files packed");
    } else if (!options.no_launch) {
        if (const PackEntry* setup = findEntry("Setup.exe"))
            plan.launch = setup->name;
    }
    for (const PackEntry& entry : plan.entries)
        plan.contents_size += entry.size;
    // The rule that verify applies to what it inflates: create never makes
    // a package that its own readers, and the installer, refuse.
    const uint64_t mergeSize = MergeContentsOffset(static_cast<uint32_t>(plan.entries.size())) + plan.contents_size;
    if (const std::optional<std::string> refusal = WhyTooLargeToInstall(mergeSize))
        problems->push_back("the files hold " + std::to_string(plan.contents_size) + " bytes; with its table, the " +
                            "package would inflate to " + std::to_string(mergeSize) + " bytes, " + *refusal);
    if (!problems->empty())
        return std::nullopt;
    return plan;
}

namespace {

// The merge data file as a stream of bytes: the header and the table, made
// here, then each file's contents, read from the file when asked for.
class MergeStream {
public:
    explicit MergeStream(const PackPlan& plan) : plan_(plan)
    {
        head_.resize(MergeContentsOffset(static_cast<uint32_t>(plan.entries.size())));
        MergeHeader header{};
        header.count = static_cast<uint32_t>(plan.entries.size());
        std::memcpy(header.launch_name, plan.launch.data(), plan.launch.size());
        EncodeMergeHeader(header, head_.data());
        uint64_t offset = head_.size();
        for (size_t i = 0; i < plan.entries.size(); ++i) {
            EncodeMergeEntry(Record(i), head_.data() + kMergeHeaderSize + kMergeEntrySize * i);
            starts_.push_back(offset);
            offset += plan.entries[i].size;
        }
        size_ = offset;
    }

    uint64_t Size() const { return size_; }

    // Safe on several threads at once: each read opens what it reads.
    bool Read(uint64_t offset, uint8_t* out, size_t count, std::string* error) const
    {
        while (count > 0) {
            size_t piece;
            if (offset < head_.size()) {
                piece = static_cast<size_t>(std::min<uint64_t>(count, head_.size() - offset));
                std::memcpy(out, head_.data() + offset, piece);
            } else if (!ReadContents(offset, out, count, &piece, error)) {
                return false;
            }
            offset += piece;
            out += piece;
            count -= piece;
        }
        return true;
    }

private:
    MergeEntry Record(size_t i) const
    {
        const PackEntry& file = plan_.entries[i];
        MergeEntry entry{};
        entry.ordinal = static_cast<uint32_t>(i);
        entry.creation_time = file.times.creation;
        entry.last_access_time = file.times.last_access;
        entry.last_write_time = file.times.last_write;
        entry.size = file.size;
        std::memcpy(entry.name, file.name.data(), file.name.size());
        return entry;
    }

    // Reads from the file whose contents hold `offset`, up to its end. The
    // table already holds the file's size and times, taken before it was
    // first opened: a file written since would make the package lie, or
    // mix old bytes with new. So every read ends with a look at the file's
    // stamp, against the one taken then; whichever thread reads last, a
    // change before that read is seen.
    bool ReadContents(uint64_t offset, uint8_t* out, size_t count, size_t* piece, std::string* error) const
    {
        const size_t i = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin() - 1);
        const PackEntry& file = plan_.entries[i];
        const uint64_t within = offset - starts_[i];
        *piece = static_cast<size_t>(std::min<uint64_t>(count, file.size - within));
        FileReader reader(file.path);
        if (!reader.Ok()) {
            *error = Shown(file.path) + ": cannot read it (" + reader.Error() + ")";
            return false;
        }
        errno = 0;
        const bool read = reader.ReadAt(within, out, *piece);
        const std::string readCause = std::strerror(errno);
        const bool whole = read && (within + *piece < file.size || reader.AtEnd());
        std::string why;
        const std::optional<FileStamp> now = reader.Stamp(&why);
        if (!now) {
            *error = Shown(file.path) + ": cannot look at it after reading (" + why + ")";
            return false;
        }
        if (*now != file.stamp || (read && !whole)) {
            *error = Shown(file.path) + ": " + kChangedWhileRead;
            return false;
        }
        if (!read) {
            *error = Shown(file.path) + ": cannot read it (" + readCause + ")";
            return false;
        }
        return true;
    }

    const PackPlan& plan_;
    Bytes head_;
    std::vector<uint64_t> starts_;  // where each file's contents begin
    uint64_t size_ = 0;
};

}  // namespace

std::optional<uint64_t> CompressPackage(const PackPlan& plan, const CompressOptions& options, FileWriter& out,
                                        std::string* error)
{
    const MergeStream merge(plan);
    uint64_t written = 0;
    ParallelDeflateJob job;
    job.size = merge.Size();
    job.level = options.level;
    job.iterations = options.iterations;
    job.threads = options.threads;
    job.read = [&](uint64_t offset, uint8_t* bytes, size_t count, std::string* why) {
        return merge.Read(offset, bytes, count, why);
    };
    job.write = [&](const uint8_t* bytes, size_t count, std::string* why) {
        written += count;
        if (out.Write(bytes, count))
            return true;
        *why = "cannot write the package (" + out.Error() + ")";
        return false;
    };
    job.progress = options.progress;
    if (!DeflateInParallel(job, error))
        return std::nullopt;
    return written;
}
