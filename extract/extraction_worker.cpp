#include "extract/extraction_worker.h"

#include <commctrl.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/destination_folder.h"
#include "app/stub_state.h"
#include "extract/chunked_io.h"
#include "extract/destination_lock.h"
#include "extract/installing.h"
#include "extract/merge_format.h"
#include "extract/package_resource.h"
#include "extract/repeated_names.h"
#include "extract/stoppable_inflation.h"
#include "extract/temporary_folder.h"
#include "extract/worker_reports.h"
#include "inflate/stream_inflater.h"
#include "resources/resource_ids.h"

namespace {

// What the user reads. A failure names the step that failed.
constexpr char kPreparing[] = "Preparing data file...";
constexpr char kExtractingInformation[] = "Extracting file information...";
constexpr char kDecompressing[] = "Decompress merge data file...";
constexpr char kInitializing[] = "Initialize file information...";
constexpr char kCopyingFormat[] = "Copying ...\\%s";
constexpr char kRollingBack[] = "Rollback the updated file...";
constexpr char kCompleted[] = "Update completed.";

constexpr char kSucceeded[] = "All files successfully extract to the specified folder.";
constexpr char kNoPackage[] = "Fail to extract the data, extracting process aborted!";
constexpr char kCannotCreatePackageFile[] = "Fail to create temporary data file, extracting process aborted!";
constexpr char kCannotDecompress[] = "Fail to decompress the data, extracting process aborted!";
constexpr char kCannotReadMergeFile[] = "Fail to read temporary data file, updating extracting aborted!";
constexpr char kEmptyMergeFile[] = "No data in the decompressed data file, extracting process aborted!";
constexpr char kNoEntries[] = "No file require to extract, process aborted!";
constexpr char kInvalidMergeFile[] = "Invalid data file, extracting process aborted!";
constexpr char kCannotCreateEntry[] = "Fail to create data file, extracting process aborted!";
constexpr char kEmptyEntry[] = "Invalid data file size, extracting process aborted!";
constexpr char kShortEntryWrite[] = "Writing data error, extracting process aborted!";
constexpr char kCannotCopyFormat[] = "Fail to copy %s, extracting process aborted!";
constexpr char kCannotLaunchFormat[] = "Fail to open %s, launching process aborted!";
constexpr char kLinkedDestination[] = "The destination folder is a link, extracting process aborted!";

// A path buffer: empty, or a complete path. Formatting never truncates: a
// path that does not fit leaves the buffer empty and reports false.
struct Path {
    char text[MAX_PATH] = {};

    bool Format(const char* format, ...)
    {
        std::memset(text, 0, sizeof text);
        va_list arguments;
        va_start(arguments, format);
        const int length = std::vsnprintf(text, sizeof text, format, arguments);
        va_end(arguments);
        if (length < 0 || length >= static_cast<int>(sizeof text)) {
            std::memset(text, 0, sizeof text);
            return false;
        }
        return true;
    }
    bool Join(const char* folder, const char* name) { return Format("%s%s", folder, name); }
    bool Empty() const { return text[0] == '\0'; }
};

// How a step ends: on to the next, or out by one of the two exit routes.
enum class Route { Next, Cleanup, Rollback };

// Everything the job holds; nothing of it outlives the thread.
struct Job {
    HWND window;
    char runFolder[MAX_PATH] = {};  // this run's own, in the temporary folder
    Path packageFile;   // the package as written out, before inflating
    Path mergeFile;     // the inflated merge data file
    char text[MAX_PATH] = {};
    HANDLE openFile = INVALID_HANDLE_VALUE;
    BYTE* merge = nullptr;
    DWORD mergeSize = 0;
    MergeHeader header = {};
    MergeEntry* table = nullptr;
    uint64_t contentsOffset = 0;
    uint32_t rollbackFrom = 0;  // the last entry whose temporary copy may exist
    uint32_t installed = 0;     // entries installed: their temporary copies are gone
    DestinationLock destination;  // held from before the first write until after the launch
    bool destinationIsLink = false;
};

void ReportPercentValue(Job& job, long percent)
{
    ReportProgress(job.window, static_cast<int>(percent));
    std::snprintf(job.text, sizeof job.text, "%ld%%", percent);
    ReportPercent(job.window, job.text);
}

Route Fail(Job& job, const char* message, Route route)
{
    ShowError(job.window, message);
    return route;
}

// A message that names a file, such as "Fail to copy a.txt, ...".
Route FailWithName(Job& job, const char* format, const char* name, Route route)
{
    std::snprintf(job.text, sizeof job.text, format, name);
    return Fail(job, job.text, route);
}

void CloseOpenFile(Job& job)
{
    if (job.openFile != INVALID_HANDLE_VALUE)
        CloseHandle(job.openFile);
    job.openFile = INVALID_HANDLE_VALUE;
}

// A file of the run's own folder, which the run made empty: one of that
// name there already is somebody else's, and is left alone.
HANDLE CreateForWriting(const char* path)
{
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, /*attributes=*/nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
}

bool IsValid(HANDLE file)
{
    return file != nullptr && file != INVALID_HANDLE_VALUE;
}

// 1. The bar's range, an empty percent, the first status.
Route Start(Job& job)
{
    SendDlgItemMessageA(job.window, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(1, 100));
    ReportProgress(job.window, 0);
    ReportPercent(job.window, "");
    UpdateWindow(GetDlgItem(job.window, IDC_PROGRESS_BAR));
    ReportStatus(job.window, kPreparing);
    if (StopRequested() || StopRequested())
        return Route::Cleanup;
    return Route::Next;
}

// 2. The destination folder checked and held before anything is written
// anywhere: the temporary folder may lie inside it, and a link would send
// even the temporary copies elsewhere. It stays held until the launch file
// has been opened, so it cannot be swapped meanwhile.
Route HoldDestination(Job& job)
{
    job.destinationIsLink = job.destination.Acquire(DestinationFolder) == DestinationState::Link;
    if (job.destinationIsLink)
        return Fail(job, kLinkedDestination, Route::Cleanup);
    return Route::Next;
}

// 3. A folder of the run's own in the temporary folder, and two names in it
// from the tick counter. Whatever else the temporary folder holds, the run
// never opens, replaces or deletes it.
Route NameTemporaryFiles(Job& job)
{
    ReportProgress(job.window, 25);
    ReportPercent(job.window, "25%");
    char temporaryFolder[MAX_PATH] = {};
    if (!FindTemporaryFolder(temporaryFolder) || !CreateRunFolder(temporaryFolder, job.runFolder))
        return Fail(job, kCannotCreatePackageFile, Route::Cleanup);
    const DWORD first = GetTickCount();
    const DWORD second = GetTickCount() * 12345u / 8725u;  // unsigned: the product wraps
    if (!job.packageFile.Format("%s%08X", job.runFolder, static_cast<unsigned>(first)) ||
        !job.mergeFile.Format("%s%08X", job.runFolder, static_cast<unsigned>(second)))
        return Fail(job, kCannotCreatePackageFile, Route::Cleanup);
    return StopRequested() ? Route::Cleanup : Route::Next;
}

// 4. The package resource, written out as it is.
Route WritePackage(Job& job)
{
    ReportProgress(job.window, 50);
    ReportPercent(job.window, "50%");
    ReportStatus(job.window, kExtractingInformation);
    PackageResource package;
    if (!LoadPackageResource(Instance, &package))
        return Fail(job, kNoPackage, Route::Cleanup);
    job.openFile = CreateForWriting(job.packageFile.text);
    if (!IsValid(job.openFile)) {
        job.openFile = INVALID_HANDLE_VALUE;
        return Fail(job, kCannotCreatePackageFile, Route::Cleanup);
    }
    SetFilePointer(job.openFile, 0, nullptr, FILE_BEGIN);
    // A failed or short write shows up as a stream that does not inflate.
    if (WriteInChunks(job.openFile, package.bytes, package.size) == ChunkedResult::Stopped)
        return Route::Cleanup;
    CloseOpenFile(job);
    return StopRequested() ? Route::Cleanup : Route::Next;
}

// 5. The package inflated into the merge data file.
Route Inflate(Job& job)
{
    ReportProgress(job.window, 75);
    ReportPercent(job.window, "75%");
    ReportStatus(job.window, kDecompressing);
    const int result = InflateUnlessStopped(job.packageFile.text, job.mergeFile.text);
    if (result == StreamInflater::INFLATE_ABORTED)
        return Route::Cleanup;
    if (result != 0)
        return Fail(job, kCannotDecompress, Route::Cleanup);
    DeleteFileA(job.packageFile.text);
    ReportProgress(job.window, 100);
    ReportPercent(job.window, "100%");
    ReportStatus(job.window, "");
    return StopRequested() ? Route::Cleanup : Route::Next;
}

// The lead bytes of the system's ANSI code page, in which names are read.
LeadBytes SystemLeadBytes()
{
    LeadBytes lead;
    CPINFO info = {};
    if (GetCPInfo(CP_ACP, &info))
        for (int range = 0; range + 1 < MAX_LEADBYTES && info.LeadByte[range] != 0; range += 2)
            for (unsigned byte = info.LeadByte[range]; byte <= info.LeadByte[range + 1]; ++byte)
                lead.lead[byte] = true;
    return lead;
}

// The header and the table, checked: every name a bare file name, each
// given once, the table and every entry's contents within the file.
Route ParseMergeFile(Job& job)
{
    const LeadBytes lead = SystemLeadBytes();
    switch (ReadMergeHeader(job.merge, job.mergeSize, &job.header, lead)) {
    case MergeStatus::Ok:
        break;
    case MergeStatus::NoEntries:
        return Fail(job, kNoEntries, Route::Cleanup);
    default:
        return Fail(job, kInvalidMergeFile, Route::Cleanup);
    }
    // The header check bounds the count by the file's size, but a record in
    // memory is larger than on disk: in 32 bits the product could wrap.
    const uint64_t tableSize = uint64_t{sizeof(MergeEntry)} * job.header.count;
    if (tableSize > SIZE_MAX)
        return Fail(job, kCannotReadMergeFile, Route::Cleanup);
    job.table = static_cast<MergeEntry*>(LocalAlloc(LMEM_ZEROINIT, static_cast<SIZE_T>(tableSize)));
    uint32_t badEntry = 0;
    if (!job.table)
        return Fail(job, kCannotReadMergeFile, Route::Cleanup);
    if (ReadMergeTable(job.merge, job.mergeSize, job.header, job.table, &badEntry, lead) != MergeStatus::Ok)
        return Fail(job, kInvalidMergeFile, Route::Cleanup);
    // Two entries of one name would share one temporary copy, and one of the
    // files would be installed with another's bytes.
    switch (CheckNamesAreUnique(job.table, job.header.count)) {
    case NameCheck::Unique:
        break;
    case NameCheck::Repeated:
        return Fail(job, kInvalidMergeFile, Route::Cleanup);
    case NameCheck::OutOfMemory:
        return Fail(job, kCannotReadMergeFile, Route::Cleanup);
    }
    return Route::Next;
}

// 6. The merge data file read whole and checked: every name a bare file name,
// the table and every entry's contents within it.
Route LoadMergeFile(Job& job)
{
    ReportProgress(job.window, 0);
    ReportPercent(job.window, "0%");
    ReportStatus(job.window, kInitializing);
    job.openFile = CreateFileA(job.mergeFile.text, GENERIC_READ, FILE_SHARE_READ, /*attributes=*/nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
    if (!IsValid(job.openFile)) {
        job.openFile = INVALID_HANDLE_VALUE;
        return Fail(job, kCannotReadMergeFile, Route::Cleanup);
    }
    DWORD sizeHigh = 0;
    job.mergeSize = GetFileSize(job.openFile, &sizeHigh);
    if (job.mergeSize == INVALID_FILE_SIZE || sizeHigh != 0)
        return Fail(job, kCannotReadMergeFile, Route::Cleanup);
    if (job.mergeSize == 0)
        return Fail(job, kEmptyMergeFile, Route::Cleanup);
    job.merge = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, job.mergeSize));
    if (!job.merge)
        return Fail(job, kCannotReadMergeFile, Route::Cleanup);
    SetFilePointer(job.openFile, 0, nullptr, FILE_BEGIN);
    const ChunkedResult read = ReadInChunks(job.openFile, job.merge, job.mergeSize);
    CloseOpenFile(job);
    DeleteFileA(job.mergeFile.text);
    if (read == ChunkedResult::Stopped)
        return Route::Cleanup;
    if (read == ChunkedResult::Failed)
        return Fail(job, kCannotReadMergeFile, Route::Cleanup);
    const Route route = ParseMergeFile(job);
    if (route != Route::Next)
        return route;
    ReportStatus(job.window, kExtractingInformation);
    job.contentsOffset = MergeContentsOffset(job.header.count);
    return Route::Next;
}

// 7. Every entry written into the temporary folder with its three times.
Route UnpackEntries(Job& job)
{
    const uint32_t count = job.header.count;
    for (uint32_t i = 0; i < count; ++i) {
        const MergeEntry& entry = job.table[i];
        job.rollbackFrom = i;
        Path copy;
        if (!copy.Join(job.runFolder, entry.name))
            return Fail(job, kCannotCreateEntry, Route::Rollback);
        job.openFile = CreateForWriting(copy.text);
        if (!IsValid(job.openFile)) {
            job.openFile = INVALID_HANDLE_VALUE;
            return Fail(job, kCannotCreateEntry, Route::Rollback);
        }
        if (entry.size == 0)
            return Fail(job, kEmptyEntry, Route::Rollback);  // the rollback closes the file
        SetFilePointer(job.openFile, 0, nullptr, FILE_BEGIN);
        switch (WriteInChunks(job.openFile, job.merge + job.contentsOffset, entry.size)) {
        case ChunkedResult::Done:
            break;
        case ChunkedResult::Stopped:
            return Route::Rollback;
        case ChunkedResult::Failed:
            return Fail(job, kShortEntryWrite, Route::Rollback);
        }
        ApplyTimes(job.openFile, entry);
        CloseOpenFile(job);
        job.contentsOffset += entry.size;
        ReportPercentValue(job, PercentAfter(i, count));
        if (StopRequested())
            return Route::Rollback;
    }
    return Route::Next;
}

// 8. Between the loops. A stop here must not leave the copies behind.
Route BetweenLoops(Job& job)
{
    if (StopRequested())
        return Route::Rollback;
    ReportProgress(job.window, 0);
    ReportPercent(job.window, "0%");
    ReportStatus(job.window, "");
    return Route::Next;
}

// 9. Every entry installed into the destination folder; its temporary copy
// deleted.
Route InstallEntries(Job& job)
{
    const uint32_t count = job.header.count;
    // From here on the copies of the entries not yet installed are in the
    // temporary folder: a rollback deletes all of them.
    job.rollbackFrom = count - 1;
    for (uint32_t i = 0; i < count; ++i) {
        const MergeEntry& entry = job.table[i];
        ReportPercentValue(job, PercentAfter(i, count));
        std::snprintf(job.text, sizeof job.text, kCopyingFormat, entry.name);
        ReportStatus(job.window, job.text);
        Path copy, installed;
        if (!copy.Join(job.runFolder, entry.name) || !installed.Join(DestinationFolder, entry.name))
            return FailWithName(job, kCannotCopyFormat, entry.name, Route::Rollback);
        switch (InstallFile(copy.text, DestinationFolder, installed.text, entry)) {
        case InstallResult::Installed:
            break;
        case InstallResult::Stopped:
            return Route::Rollback;
        case InstallResult::Failed:
            return FailWithName(job, kCannotCopyFormat, entry.name, Route::Rollback);
        }
        DeleteFileA(copy.text);
        job.installed = i + 1;
        if (StopRequested())
            return Route::Rollback;
    }
    return Route::Next;
}

// 10. Success, and the launch file opened from the destination folder.
Route Finish(Job& job)
{
    if (StopRequested())
        return Route::Cleanup;
    ReportProgress(job.window, 50);
    ReportPercent(job.window, "50%");
    if (StopRequested())
        return Route::Cleanup;
    ReportProgress(job.window, 100);
    ReportPercent(job.window, "100%");
    ReportStatus(job.window, kCompleted);
    ShowSuccess(job.window, kSucceeded);
    // A stop while the box was up is the user's last word: no launch.
    if (StopSignalled())
        return Route::Cleanup;
    if (job.header.launch_name[0] != '\0') {
        Path launch;
        if (!launch.Join(DestinationFolder, job.header.launch_name))
            return FailWithName(job, kCannotLaunchFormat, job.header.launch_name, Route::Cleanup);
        const INT_PTR result = reinterpret_cast<INT_PTR>(
            ShellExecuteA(job.window, "open", launch.text, /*parameters=*/nullptr, DestinationFolder, SW_SHOW));
        if (result <= 32)
            return FailWithName(job, kCannotLaunchFormat, job.header.launch_name, Route::Cleanup);
    }
    return Route::Cleanup;
}

// Deletes the temporary copies of entries job.rollbackFrom down to 0; those
// of installed entries are gone already.
void RollBack(Job& job)
{
    ReportStatus(job.window, kRollingBack);
    UpdateWindow(job.window);
    CloseOpenFile(job);
    if (!job.table)
        return;
    const uint32_t count = job.header.count;
    for (uint32_t k = job.rollbackFrom + 1; k-- > 0;) {
        ReportProgress(job.window, static_cast<int>(PercentAt(k, count)));
        Path copy;
        if (k >= job.installed && copy.Join(job.runFolder, job.table[k].name))
            DeleteFileA(copy.text);
    }
}

// A destination folder that this run made and installed nothing into goes
// too, so that a refused package leaves the drive as it was. Only an empty
// folder can be removed: nothing anybody put there meanwhile is lost.
void RemoveUnusedDestination(Job& job)
{
    if (!DestinationCreated || job.installed > 0 || job.destinationIsLink)
        return;
    job.destination.Release();
    // The folder is named without its closing backslash.
    const size_t length = std::strlen(DestinationFolder);
    Path folder;
    if (length > 1 && folder.Format("%.*s", static_cast<int>(length - 1), DestinationFolder))
        RemoveDirectoryA(folder.text);
}

// Every run ends here, once: nothing of the job is left behind.
void CleanUp(Job& job)
{
    CloseOpenFile(job);
    if (job.table)
        LocalFree(job.table);
    if (job.merge)
        LocalFree(job.merge);
    if (!job.packageFile.Empty())
        DeleteFileA(job.packageFile.text);
    if (!job.mergeFile.Empty())
        DeleteFileA(job.mergeFile.text);
    // Empty now, unless somebody else put something into it.
    if (job.runFolder[0] != '\0')
        RemoveDirectoryA(job.runFolder);
    RemoveUnusedDestination(job);
    ReportProgress(job.window, 0);
    ReportPercent(job.window, "");
    ReportStatus(job.window, "");
    UpdateWindow(job.window);
}

Route RunSteps(Job& job)
{
    using Step = Route (*)(Job&);
    const Step steps[] = {Start,         HoldDestination, NameTemporaryFiles, WritePackage, Inflate,
                          LoadMergeFile, UnpackEntries,   BetweenLoops,       InstallEntries, Finish};
    for (Step step : steps) {
        const Route route = step(job);
        if (route != Route::Next)
            return route;
    }
    return Route::Cleanup;
}

}  // namespace

DWORD WINAPI ExtractionWorker(LPVOID window)
{
    Job job;
    job.window = static_cast<HWND>(window);
    if (RunSteps(job) == Route::Rollback)
        RollBack(job);
    CleanUp(job);
    // The end notice: the window's close pass ends the program.
    PostMessageA(job.window, WM_DESTROY, /*wParam=*/0, /*lParam=*/0);
    return 0;
}
