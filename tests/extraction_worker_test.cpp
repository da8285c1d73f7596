// The stub's whole job, run in this process by the real WinMain, window and
// worker on an installer loaded as a data file. Hooks record every text and
// position the controls receive; a watcher answers every message box; a test
// can stop or close at a chosen update, when the worker waits for the window.
// Afterwards the tests look at what the user would find on disk.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/stub_state.h"
#include "resources/resource_ids.h"
#include "tests/support/folders.h"
#include "tests/support/message_box_watcher.h"
#include "tests/support/package_maker.h"
#include "tests/support/random_bytes.h"
#include "tests/support/same_bytes.h"
#include "tests/support/temp_folder.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

namespace {

const std::string kDestination = "C:\\Quillmoor";

// One update of a control, as the window received it.
struct Update {
    int control;
    std::string text;  // for the two texts
    int position;      // for the progress bar
};

struct Recording {
    std::vector<std::string> percents;
    std::vector<std::string> statuses;
    std::vector<int> positions;
    HWND window = nullptr;
    std::function<void(const Update&)> onUpdate;
};
Recording Seen;

LRESULT CALLBACK BeforeSentMessage(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && GetParent(sent->hwnd) && GetParent(sent->hwnd) == Seen.window) {
        const int control = GetDlgCtrlID(sent->hwnd);
        Update update{control, "", 0};
        if (sent->message == WM_SETTEXT && control == IDC_PERCENT_TEXT) {
            update.text = reinterpret_cast<const char*>(sent->lParam);
            Seen.percents.push_back(update.text);
        } else if (sent->message == WM_SETTEXT && control == IDC_STATUS_TEXT) {
            update.text = reinterpret_cast<const char*>(sent->lParam);
            Seen.statuses.push_back(update.text);
        } else if (sent->message == PBM_SETPOS && control == IDC_PROGRESS_BAR) {
            update.position = static_cast<int>(sent->wParam);
            Seen.positions.push_back(update.position);
        } else {
            return CallNextHookEx(nullptr, code, wParam, lParam);
        }
        if (Seen.onUpdate)
            Seen.onUpdate(update);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK AfterSentMessage(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG)
        Seen.window = sent->hwnd;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

using Names = std::vector<std::string>;

// Every file in a folder, by name, with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const std::string& name : FilesIn(folder))
        files[name] = ReadFile(folder + "\\" + name);
    return files;
}

// The one folder that the run made in the temporary folder.
std::string RunFolderIn(const std::string& temporary)
{
    const std::vector<std::string> made = FilesIn(temporary);
    EXPECT_EQ(made.size(), 1u) << "one folder of the run's own";
    return made.empty() ? temporary : temporary + "\\" + made[0];
}

uint64_t LastWriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
}

std::string Percent(long value)
{
    return std::to_string(value) + "%";
}

// Runs an installer in this process as a user would start it.
class ExtractionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Reset();
        const DWORD thread = GetCurrentThreadId();
        hooks_[0] = SetWindowsHookExA(WH_CALLWNDPROC, BeforeSentMessage, nullptr, thread);
        hooks_[1] = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterSentMessage, nullptr, thread);
    }

    // A clean start for the next run: no destination folder, an empty
    // temporary folder of the test's own (so that whatever the worker leaves
    // there shows), nothing recorded.
    void Reset()
    {
        RemoveFolder(kDestination);
        RemoveFolder(temporary);
        Seen = Recording{};
        CreateDirectoryA(temporary.c_str(), nullptr);
        SetEnvironmentVariableA("TMP", (temporary + "\\").c_str());
        SetEnvironmentVariableA("TEMP", (temporary + "\\").c_str());
    }

    void TearDown() override
    {
        for (HHOOK hook : hooks_)
            UnhookWindowsHookEx(hook);
        RemoveFolder(temporary);
    }

    // Installs a package of these entries; returns the exit code.
    int Install(const std::vector<TestEntry>& entries, const std::string& launch = "")
    {
        return InstallPackage(Deflate(MakeMergeFile(entries, launch)));
    }

    int InstallPackage(const std::string& package)
    {
        return RunInstaller(MakeInstaller(ReadFile(ProgramFolder() + "sfxstub.exe"), package));
    }

    int RunInstaller(const std::string& installer)
    {
        EXPECT_FALSE(installer.empty());
        // A new name for each run: the system keeps a loaded file by its name.
        const std::string path = scratch / ("installer" + std::to_string(++runs_) + ".exe");
        WriteFile(path, installer);
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        EXPECT_NE(module, nullptr);
        int exitCode;
        {
            MessageBoxWatcher watcher;
            exitCode = WinMain(module, nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
            boxes = watcher.Boxes();
        }
        FreeLibrary(module);
        return exitCode;
    }

    // Signals the stop event at the nth update that matches.
    void StopAt(int control, const std::string& text, int occurrence = 1)
    {
        ActAt(control, text, occurrence, [] { SetEvent(StopEvent); });
    }

    void ActAt(int control, const std::string& text, int occurrence, std::function<void()> action)
    {
        auto seen = std::make_shared<int>(0);
        Seen.onUpdate = [=](const Update& update) {
            if (update.control == control && update.text == text && ++*seen == occurrence)
                action();
        };
    }

    static std::vector<TestEntry> ThreeEntries()
    {
        return {{"a.txt", "alpha"}, {"b.txt", "bravo bravo"}, {"c.txt", std::string(100000, 'c')}};
    }

    std::string Installed(const std::string& name) const { return ReadFile(kDestination + "\\" + name); }

    TempFolder scratch;
    const std::string temporary = scratch / "tmp";
    std::vector<ShownBox> boxes;

private:
    HHOOK hooks_[2] = {};
    int runs_ = 0;
};

ShownBox Error(const std::string& text)
{
    return {"Self-Extractor", text, "error"};
}

const ShownBox kSuccess = {"Self-Extractor", "All files successfully extract to the specified folder.", "information"};

// The texts and positions of a whole successful run over these percents.
void ExpectSuccessfulRun(const std::vector<TestEntry>& entries, const std::vector<long>& perEntry)
{
    std::vector<std::string> percents = {"", "25%", "50%", "75%", "100%", "0%"};
    std::vector<int> positions = {0, 25, 50, 75, 100, 0};
    for (int loop = 0; loop < 2; ++loop) {
        for (long percent : perEntry) {
            percents.push_back(Percent(percent));
            positions.push_back(static_cast<int>(percent));
        }
        if (loop == 0) {
            percents.push_back("0%");
            positions.push_back(0);
        }
    }
    percents.insert(percents.end(), {"50%", "100%", ""});
    positions.insert(positions.end(), {50, 100, 0});
    std::vector<std::string> statuses = {"Preparing data file...", "Extracting file information...",
                                         "Decompress merge data file...", "", "Initialize file information...",
                                         "Extracting file information...", ""};
    for (const TestEntry& entry : entries)
        statuses.push_back("Copying ...\\" + entry.name);
    statuses.insert(statuses.end(), {"Update completed.", ""});

    EXPECT_EQ(Seen.percents, percents);
    EXPECT_EQ(Seen.positions, positions);
    EXPECT_EQ(Seen.statuses, statuses);
}

std::vector<TestEntry> NumberedEntries(int count)
{
    std::vector<TestEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({"file" + std::to_string(1000 + i) + ".dat", "contents of " + std::to_string(i)});
    return entries;
}

TEST_F(ExtractionTest, InstallsOneFileShowingEveryStep)
{
    const std::vector<TestEntry> entries = {{"only.txt", "just one"}};
    EXPECT_EQ(Install(entries), 18);
    ExpectSuccessfulRun(entries, {100});
    EXPECT_EQ(boxes, std::vector<ShownBox>{kSuccess});
    EXPECT_EQ(Installed("only.txt"), "just one");
    EXPECT_EQ(FilesIn(temporary), Names{}) << "nothing left in the temporary folder";
}

TEST_F(ExtractionTest, PercentagesOfThreeAndSevenEntries)
{
    const std::vector<TestEntry> three = NumberedEntries(3);
    EXPECT_EQ(Install(three), 18);
    ExpectSuccessfulRun(three, {33, 66, 100});

    Reset();
    const std::vector<TestEntry> seven = NumberedEntries(7);
    EXPECT_EQ(Install(seven), 18);
    ExpectSuccessfulRun(seven, {14, 28, 42, 57, 71, 85, 100});
}

TEST_F(ExtractionTest, PercentagesOfAHundredEntriesDivideFirst)
{
    // After the 29th entry 0.29 x 100.0 lies just below 29: "28%".
    const std::vector<long> expected = {
        1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25,
        26, 27, 28, 28, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50,
        51, 52, 53, 54, 55, 56, 56, 57, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75,
        76, 77, 78, 79, 80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100};
    const std::vector<TestEntry> entries = NumberedEntries(100);
    EXPECT_EQ(Install(entries), 18);
    ExpectSuccessfulRun(entries, expected);
    EXPECT_EQ(FilesIn(kDestination).size(), 100u);
}

// Whether this file system keeps a creation time that is set (Wine on Linux
// may report the last write time instead).
bool CreationTimesAreKept(const std::string& folder)
{
    const std::string probe = folder + "\\creation-probe";
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const FILETIME early = {0x12345678, 0x01C00000}, late = {0x12345678, 0x01D00000};
    SetFileTime(file, &early, &late, &late);
    FILETIME creation = {};
    GetFileTime(file, &creation, nullptr, nullptr);
    CloseHandle(file);
    DeleteFileA(probe.c_str());
    return creation.dwHighDateTime == early.dwHighDateTime;
}

TEST_F(ExtractionTest, InstalledFilesCarryThePackagesBytesAndThreeTimes)
{
    const bool creationKept = CreationTimesAreKept(scratch / "");
    std::vector<TestEntry> entries = ThreeEntries();
    entries[1].creation = 130000000000000000ull;
    entries[1].last_access = 131000000000000000ull;
    entries[1].last_write = 132000000000000000ull;
    WriteFile(kDestination + "\\b.txt", "an older b, overwritten");

    EXPECT_EQ(Install(entries), 18);

    for (const TestEntry& entry : entries) {
        SCOPED_TRACE(entry.name);
        HANDLE file = CreateFileA((kDestination + "\\" + entry.name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME creation, access, write;
        ASSERT_TRUE(GetFileTime(file, &creation, &access, &write));
        CloseHandle(file);
        auto join = [](const FILETIME& t) { return uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime; };
        if (creationKept) {
            EXPECT_EQ(join(creation), entry.creation);
        }
        EXPECT_EQ(join(access), entry.last_access);
        EXPECT_EQ(join(write), entry.last_write);
        EXPECT_TRUE(SameBytes(Installed(entry.name), entry.contents));
    }
}

// Each failure the worker reports: its message, and what is left on disk.
TEST_F(ExtractionTest, AnInstallerWithoutAPackageSaysSo)
{
    EXPECT_EQ(RunInstaller(ReadFile(ProgramFolder() + "sfxstub.exe")), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{Error("Fail to extract the data, extracting process aborted!")});
    EXPECT_EQ(FilesIn(temporary), Names{});
    EXPECT_FALSE(IsFolder(kDestination)) << "the run made it and installed nothing";
}

TEST_F(ExtractionTest, AnUnwritableTemporaryFolderStopsBeforeAnything)
{
    SetEnvironmentVariableA("TMP", "C:\\no-such-folder\\");
    SetEnvironmentVariableA("TEMP", "C:\\no-such-folder\\");
    EXPECT_EQ(Install(ThreeEntries()), 18);
    EXPECT_EQ(boxes,
              std::vector<ShownBox>{Error("Fail to create temporary data file, extracting process aborted!")});
    EXPECT_FALSE(IsFolder(kDestination)) << "the run made it and installed nothing";
}

TEST_F(ExtractionTest, APackageThatDoesNotInflateLeavesNoTemporaryFile)
{
    std::string package = Deflate(MakeMergeFile(ThreeEntries()));
    package.back() ^= 0x01;  // a wrong Adler-32
    EXPECT_EQ(InstallPackage(package), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{Error("Fail to decompress the data, extracting process aborted!")});
    EXPECT_EQ(FilesIn(temporary), Names{});
    EXPECT_FALSE(IsFolder(kDestination)) << "the run made it and installed nothing";

    // A folder that was there before stays, empty as it was.
    Reset();
    CreateDirectoryA(kDestination.c_str(), nullptr);
    EXPECT_EQ(InstallPackage(package), 18);
    EXPECT_TRUE(IsFolder(kDestination));
    EXPECT_EQ(FilesIn(kDestination), Names{});
}

TEST_F(ExtractionTest, AMergeFileThatCannotBeOpenedIsReported)
{
    HANDLE locked = INVALID_HANDLE_VALUE;
    ActAt(IDC_PERCENT_TEXT, "100%", 1, [&] {
        // The inflated file is the only file in the run's folder now; hold
        // it so that nobody else may open it.
        const std::string runFolder = RunFolderIn(temporary);
        const Names present = FilesIn(runFolder);
        ASSERT_EQ(present.size(), 1u);
        locked = CreateFileA((runFolder + "\\" + present[0]).c_str(), GENERIC_READ, /*share=*/0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    });
    EXPECT_EQ(Install(ThreeEntries()), 18);
    CloseHandle(locked);
    EXPECT_EQ(boxes,
              std::vector<ShownBox>{Error("Fail to read temporary data file, updating extracting aborted!")});
    EXPECT_EQ(FilesIn(kDestination), Names{});
}

TEST_F(ExtractionTest, AnEmptyMergeFileIsReported)
{
    EXPECT_EQ(InstallPackage(Deflate("")), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{
                         Error("No data in the decompressed data file, extracting process aborted!")});
    EXPECT_EQ(FilesIn(temporary), Names{});
}

TEST_F(ExtractionTest, APackageOfNoFilesIsReported)
{
    EXPECT_EQ(InstallPackage(Deflate(std::string(kMergeHeaderSize, '\0'))), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{Error("No file require to extract, process aborted!")});
    EXPECT_EQ(FilesIn(temporary), Names{});
}

TEST_F(ExtractionTest, UnsafeNamesAndShortMergeFilesAreRefusedBeforeAnythingIsWritten)
{
    const std::string shortFile = MakeMergeFile(ThreeEntries());
    const std::string packages[] = {
        Deflate(MakeMergeFile({{"a.txt", "a"}, {"..\\evil.txt", "evil"}})),
        Deflate(MakeMergeFile({{"a.txt", "a"}, {"C:evil.txt", "evil"}})),
        Deflate(MakeMergeFile({{"a.txt", "a"}}, "..\\..\\evil.exe")),
        Deflate(shortFile.substr(0, shortFile.size() - 1)),
        // Two entries that would be one file, and devices in disguise.
        Deflate(MakeMergeFile({{"a.txt", "a"}, {"B.txt", "b"}, {"b.txt", "c"}})),
        Deflate(MakeMergeFile({{"a.txt", "a"}, {"a.txt", "a again"}})),
        Deflate(MakeMergeFile({{"a.txt", "a"}, {"CON .txt", "console"}})),
        Deflate(MakeMergeFile({{"a.txt", "a"}, {"LPT\xb3.txt", "printer"}})),
        // Another entry's short name, as Wine makes it.
        Deflate(MakeMergeFile({{"longfilename.txt", "first"}, {"LONG~LMQ.TXT", "second"}})),
    };
    for (const std::string& package : packages) {
        Reset();
        EXPECT_EQ(InstallPackage(package), 18);
        EXPECT_EQ(boxes, std::vector<ShownBox>{Error("Invalid data file, extracting process aborted!")});
        EXPECT_EQ(FilesIn(temporary), Names{});
        EXPECT_EQ(FilesIn(kDestination), Names{});
        for (const std::string& name : FilesIn(scratch / ""))
            EXPECT_TRUE(name == "tmp" || name.rfind("installer", 0) == 0) << name << " beside the folder";
    }
}

TEST_F(ExtractionTest, AnEntryThatCannotBeCreatedRollsBackTheEarlierOnes)
{
    std::string runFolder;
    ActAt(IDC_PERCENT_TEXT, "33%", 1, [&] {
        runFolder = RunFolderIn(temporary);
        CreateDirectoryA((runFolder + "\\b.txt").c_str(), nullptr);  // in the way of entry 1
    });
    EXPECT_EQ(Install(ThreeEntries()), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{Error("Fail to create data file, extracting process aborted!")});
    EXPECT_EQ(FilesIn(runFolder), Names{"b.txt"}) << "a.txt rolled back; the folder in the way is not ours";
    EXPECT_EQ(FilesIn(kDestination), Names{});
    EXPECT_EQ(Seen.statuses.back(), "");
    EXPECT_NE(std::find(Seen.statuses.begin(), Seen.statuses.end(), "Rollback the updated file..."),
              Seen.statuses.end());
}

TEST_F(ExtractionTest, AnEmptyEntryRollsBackItselfAndTheEarlierOnes)
{
    EXPECT_EQ(Install({{"a.txt", "alpha"}, {"empty.txt", ""}, {"c.txt", "charlie"}}), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{Error("Invalid data file size, extracting process aborted!")});
    EXPECT_EQ(FilesIn(temporary), Names{});
    EXPECT_EQ(FilesIn(kDestination), Names{});
}

TEST_F(ExtractionTest, ANameTooLongForAPathIsAnErrorNotAnOverflow)
{
    EXPECT_EQ(Install({{"a.txt", "alpha"}, {std::string(255, 'n'), "long"}}), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{Error("Fail to create data file, extracting process aborted!")});
    EXPECT_EQ(FilesIn(temporary), Names{});
}

TEST_F(ExtractionTest, AFileThatCannotBeReplacedIsReportedAndNothingIsLaunched)
{
    // In use by someone who lets nobody else at it.
    CreateDirectoryA(kDestination.c_str(), nullptr);
    const std::string inUse = kDestination + "\\b.txt";
    WriteFile(inUse, "kept");
    HANDLE holder = CreateFileA(inUse.c_str(), GENERIC_READ, /*share=*/0, nullptr, OPEN_EXISTING, 0, nullptr);

    // A launch would show up: the launch file does not exist.
    EXPECT_EQ(Install(ThreeEntries(), "missing.exe"), 18);
    CloseHandle(holder);

    EXPECT_EQ(boxes, std::vector<ShownBox>{Error("Fail to copy b.txt, extracting process aborted!")});
    EXPECT_EQ(FilesIn(kDestination), Names({"a.txt", "b.txt"}));
    EXPECT_EQ(Installed("b.txt"), "kept");
    EXPECT_EQ(FilesIn(temporary), Names{}) << "c.txt's copy rolled back too";
}

TEST_F(ExtractionTest, ALaunchFileThatCannotBeOpenedIsReportedAfterTheSuccess)
{
    EXPECT_EQ(Install(ThreeEntries(), "missing.exe"), 18);
    EXPECT_EQ(boxes, (std::vector<ShownBox>{kSuccess, Error("Fail to open missing.exe, launching process aborted!")}));
    EXPECT_EQ(FilesIn(kDestination), Names({"a.txt", "b.txt", "c.txt"}));
}

// A stop at each check, and what it leaves: the temporary folder always
// empty, the destination as far as the installing got.
TEST_F(ExtractionTest, AStopAtEachCheckLeavesNoTemporaryFile)
{
    struct Case {
        const char* where;
        int control;
        std::string text;
        int occurrence;
        Names installed;
        std::string neverShown = "";  // a step stopped inside does not show its end
    };
    // The launch file does not exist: a launch would show a box.
    const Case cases[] = {
        {"starting", IDC_STATUS_TEXT, "Preparing data file...", 1, {}},
        {"naming", IDC_PERCENT_TEXT, "25%", 1, {}},
        {"writing the package", IDC_STATUS_TEXT, "Extracting file information...", 1, {}},
        {"while inflating", IDC_STATUS_TEXT, "Decompress merge data file...", 1, {}, "100%"},
        {"after inflating", IDC_PERCENT_TEXT, "100%", 1, {}},
        {"while writing entry 0", IDC_STATUS_TEXT, "Extracting file information...", 2, {}, "33%"},
        {"after entry 0", IDC_PERCENT_TEXT, "33%", 1, {}},
        {"after entry 1", IDC_PERCENT_TEXT, "66%", 1, {}},
        {"after the last entry", IDC_PERCENT_TEXT, "100%", 2, {}},
        {"while installing entry 0", IDC_STATUS_TEXT, "Copying ...\\a.txt", 1, {}},
        {"while installing entry 1", IDC_STATUS_TEXT, "Copying ...\\b.txt", 1, {"a.txt"}},
        {"before installing the last entry", IDC_PERCENT_TEXT, "100%", 3, {"a.txt", "b.txt"}},
        {"finishing", IDC_PERCENT_TEXT, "50%", 2, {"a.txt", "b.txt", "c.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        Reset();
        StopAt(c.control, c.text, c.occurrence);
        EXPECT_EQ(Install(ThreeEntries(), "missing.exe"), 18);
        EXPECT_EQ(boxes, std::vector<ShownBox>{}) << "a stop shows no box";
        EXPECT_EQ(FilesIn(temporary), Names{});
        EXPECT_EQ(FilesIn(kDestination), c.installed);
        EXPECT_EQ(IsFolder(kDestination), !c.installed.empty()) << "made by the run, removed when unused";
        EXPECT_EQ(Seen.statuses.back(), "") << "the controls are cleared";
        if (!c.neverShown.empty()) {
            EXPECT_EQ(std::count(Seen.percents.begin(), Seen.percents.end(), c.neverShown), 0);
        }
    }
}

TEST_F(ExtractionTest, AStopWhileTheSuccessBoxIsUpMeansNoLaunch)
{
    StopAt(IDC_STATUS_TEXT, "Update completed.");
    EXPECT_EQ(Install(ThreeEntries(), "missing.exe"), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{kSuccess}) << "a launch would fail with a box of its own";
}

TEST_F(ExtractionTest, ClosingWhileALargePackageInflatesEndsPromptlyLeavingNothing)
{
    ActAt(IDC_STATUS_TEXT, "Decompress merge data file...", 1,
          [] { PostMessageA(ProgressWindow, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(Install({{"large.bin", RandomBytes(24 << 20, 9)}}), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{});
    EXPECT_EQ(FilesIn(temporary), Names{});
    EXPECT_EQ(FilesIn(kDestination), Names{});
    EXPECT_EQ(std::count(Seen.percents.begin(), Seen.percents.end(), "100%"), 0) << "the inflation was cut short";
}

TEST_F(ExtractionTest, ClosingTheWindowMidwayStopsCleanlyAndExitsWith18)
{
    ActAt(IDC_STATUS_TEXT, "Copying ...\\b.txt", 1,
          [] { PostMessageA(ProgressWindow, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(Install(ThreeEntries(), "missing.exe"), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{});
    EXPECT_EQ(FilesIn(temporary), Names{});
    // The close races the copy of b.txt: it is installed whole or not at all.
    const Names installed = FilesIn(kDestination);
    EXPECT_TRUE(installed == Names({"a.txt"}) || installed == Names({"a.txt", "b.txt"}));
    if (installed.size() == 2) {
        EXPECT_EQ(Installed("b.txt"), "bravo bravo");
    }
}

TEST_F(ExtractionTest, StagingTouchesNoFileThePackageDoesNotName)
{
    // An entry named like a staging file, and a file of the user's named so.
    CreateDirectoryA(kDestination.c_str(), nullptr);
    WriteFile(kDestination + "\\b.txt.sfxtmp", "the user's own");
    EXPECT_EQ(Install({{"a.txt.sfxtmp", "first"}, {"a.txt", "second"}, {"b.txt", "third"}}), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{kSuccess});
    EXPECT_EQ(FilesIn(kDestination), Names({"a.txt", "a.txt.sfxtmp", "b.txt", "b.txt.sfxtmp"}));
    EXPECT_EQ(Installed("a.txt.sfxtmp"), "first");
    EXPECT_EQ(Installed("a.txt"), "second");
    EXPECT_EQ(Installed("b.txt.sfxtmp"), "the user's own");
}

TEST_F(ExtractionTest, ATemporaryFolderThatIsTheDestinationKeepsTheInstalledFiles)
{
    CreateDirectoryA(kDestination.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", (kDestination + "\\").c_str());
    SetEnvironmentVariableA("TEMP", (kDestination + "\\").c_str());
    EXPECT_EQ(Install(ThreeEntries()), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{kSuccess});
    EXPECT_EQ(FilesIn(kDestination), Names({"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(Installed("b.txt"), "bravo bravo");
}

// Files named as the run's two temporary files would be, "%08X" of the tick
// counter and of the counter x 12345 / 8725, for a stretch of ticks a little
// ahead; then waits for the counter to reach it. The run reads the counter as
// soon as this returns.
void PlantTickCountNames(const std::string& folder)
{
    constexpr DWORD kStretchMs = 120, kMarginMs = 40;
    for (DWORD lead = 300; lead < 40000; lead *= 2) {  // the time that planting may take, on a busy machine
        const DWORD first = GetTickCount() + lead;
        for (DWORD tick = first; tick != first + kStretchMs; ++tick) {
            for (const DWORD value : {tick, tick * 12345u / 8725u}) {
                char name[9];
                std::snprintf(name, sizeof name, "%08X", static_cast<unsigned>(value));
                WriteFile(folder + "\\" + name, std::string("another program's ") + name);
            }
        }
        const LONG early = static_cast<LONG>(first - GetTickCount());
        if (early >= 0)
            Sleep(static_cast<DWORD>(early));
        if (early > -static_cast<LONG>(kStretchMs - kMarginMs))
            return;
    }
    ADD_FAILURE() << "planting took too long for the tick counter";
}

// Files that other programs left in the temporary folder: one of each
// entry's name, and one of each name that the run's two temporary files could
// take from the tick counter, planted just before the counter is read.
TEST_F(ExtractionTest, FilesOfOtherProgramsInTheTemporaryFolderAreNeverTouched)
{
    struct Case {
        const char* what;
        std::vector<TestEntry> entries;
        std::string stopAtPercent;  // empty: no stop
        std::vector<ShownBox> boxes;
    };
    const Case cases[] = {
        {"success", ThreeEntries(), "", {kSuccess}},
        {"failure", {{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"empty.txt", ""}}, "",
         {Error("Invalid data file size, extracting process aborted!")}},
        {"stop", ThreeEntries(), "66%", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reset();
        for (const TestEntry& entry : c.entries)
            WriteFile(temporary + "\\" + entry.name, "another program's " + entry.name);
        std::map<std::string, std::string> planted;
        Seen.onUpdate = [&](const Update& update) {
            if (update.control != IDC_PERCENT_TEXT)
                return;
            if (update.text == "25%") {
                PlantTickCountNames(temporary);
                planted = Snapshot(temporary);
            }
            if (!c.stopAtPercent.empty() && update.text == c.stopAtPercent)
                SetEvent(StopEvent);
        };
        EXPECT_EQ(Install(c.entries), 18);
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_GT(planted.size(), c.entries.size());
        EXPECT_TRUE(Snapshot(temporary) == planted) << "a file of another program's changed, went or came";
    }
}

TEST_F(ExtractionTest, ATemporaryFolderNamedOutsideTheCodePageIsUsed)
{
    ASSERT_EQ(GetACP(), 1252u) << "the names below lie outside the code page";
    const std::wstring scratchFolder(scratch.Path().wstring());
    for (const wchar_t* name : {L"tmp-Łódź", L"tmp-Ελληνικά", L"tmp-日本語"}) {
        Reset();
        const std::wstring folder = scratchFolder + L"\\" + name;
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        SetEnvironmentVariableW(L"TMP", (folder + L"\\").c_str());
        SetEnvironmentVariableW(L"TEMP", (folder + L"\\").c_str());
        EXPECT_EQ(Install(ThreeEntries()), 18);
        EXPECT_EQ(boxes, std::vector<ShownBox>{kSuccess});
        EXPECT_EQ(FilesIn(kDestination), Names({"a.txt", "b.txt", "c.txt"}));
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << "the folder is left as it was";
        RemoveDirectoryW(folder.c_str());
    }
}

// Times that the file system refuses (the top bit set) fail the copy before
// the file takes its name: the destination is as it was.
TEST_F(ExtractionTest, TimesThatCannotBeSetLeaveTheDestinationAsItWas)
{
    std::vector<TestEntry> entries = ThreeEntries();
    entries[0].last_write = 0x8000000000000000ull | entries[0].last_write;
    EXPECT_EQ(Install(entries), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{Error("Fail to copy a.txt, extracting process aborted!")});
    EXPECT_FALSE(IsFolder(kDestination)) << "nothing was installed into the folder the run made";

    Reset();
    CreateDirectoryA(kDestination.c_str(), nullptr);
    WriteFile(kDestination + "\\a.txt", "an older a");
    const uint64_t written = LastWriteTime(kDestination + "\\a.txt");
    EXPECT_EQ(Install(entries), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{Error("Fail to copy a.txt, extracting process aborted!")});
    EXPECT_EQ(FilesIn(kDestination), Names{"a.txt"});
    EXPECT_EQ(Installed("a.txt"), "an older a");
    EXPECT_EQ(LastWriteTime(kDestination + "\\a.txt"), written);
    EXPECT_EQ(FilesIn(temporary), Names{});
}

// Names the installer makes up for its own folder and its staging files are
// taken when they are free, and passed over when another program's file has
// them: the names follow one another in a process, so the second run's are
// planted after the first has shown where it stands.
TEST_F(ExtractionTest, NamesThatOthersHoldArePassedOver)
{
    std::string firstFolder;
    ActAt(IDC_PERCENT_TEXT, "50%", 1, [&] { firstFolder = RunFolderIn(temporary); });
    ASSERT_EQ(Install(ThreeEntries()), 18);
    ASSERT_EQ(firstFolder.substr(firstFolder.size() - 11, 3), "sfx");
    // The run's folder, then a staging file for each of the three entries.
    const uint32_t next = static_cast<uint32_t>(std::stoul(firstFolder.substr(firstFolder.size() - 8), nullptr, 16)) + 4;
    const auto name = [](uint32_t number, const char* suffix) {
        char text[32];
        std::snprintf(text, sizeof text, "sfx%08lX%s", static_cast<unsigned long>(number), suffix);
        return std::string(text);
    };

    Reset();
    CreateDirectoryA(kDestination.c_str(), nullptr);
    for (uint32_t i = 0; i < 100; ++i)
        WriteFile(temporary + "\\" + name(next + i, ""), "another program's folder name");
    for (uint32_t i = 0; i < 200; ++i)
        WriteFile(kDestination + "\\" + name(next + i, ".tmp"), "another program's staging name");
    const std::map<std::string, std::string> temporaryBefore = Snapshot(temporary);
    const std::map<std::string, std::string> destinationBefore = Snapshot(kDestination);

    EXPECT_EQ(Install(ThreeEntries()), 18);
    EXPECT_EQ(boxes, std::vector<ShownBox>{kSuccess});
    EXPECT_TRUE(Snapshot(temporary) == temporaryBefore) << "the temporary folder as it was";
    std::map<std::string, std::string> destinationAfter = Snapshot(kDestination);
    for (const TestEntry& entry : ThreeEntries()) {
        EXPECT_EQ(destinationAfter[entry.name], entry.contents);
        destinationAfter.erase(entry.name);
    }
    EXPECT_TRUE(destinationAfter == destinationBefore) << "every staging name of the other program's left alone";
}

}  // namespace
