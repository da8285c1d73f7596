// From a folder to installed files, as users do it: sfxpack makes the
// installer, and the installer runs as its own process, driven by
// installer_driver, which answers its boxes and reports what it showed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/folders.h"
#include "tests/support/same_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

// Runs a command line with its output in a file; returns the exit code, or -1.
int RunCapturing(std::string command, const std::string& output)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(out);
    if (!started)
        return -1;
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

struct Times {
    FILETIME creation, access, write;
};

Times TimesOf(const std::string& path)
{
    Times times = {};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(file, &times.creation, &times.access, &times.write);
    CloseHandle(file);
    return times;
}

void SetTimes(const std::string& path, const Times& times)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, &times.creation, &times.access, &times.write);
    CloseHandle(file);
}

bool operator==(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool FolderIsEmpty(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    bool empty = true;
    if (search != INVALID_HANDLE_VALUE) {
        do
            empty = empty && (std::string(found.cFileName) == "." || std::string(found.cFileName) == "..");
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return empty;
}

TEST(EndToEnd, APackedFolderInstallsWithItsTimesAndLaunchesItsSetup)
{
    TempFolder scratch;
    const std::string files = scratch / "files", temporary = scratch / "tmp";
    CreateDirectoryA(files.c_str(), nullptr);
    CreateDirectoryA(temporary.c_str(), nullptr);
    RemoveFolder("C:\\Quillmoor");
    const std::string programs = ProgramFolder();
    WriteFile(files + "\\readme.txt", "Read me.\r\n");
    WriteFile(files + "\\data.bin", std::string(1000000, '\x5A') + "end");  // a stream of several blocks
    WriteFile(files + "\\Setup.exe", ReadFile(programs + "demo-setup\\Setup.exe"));
    const Times times = {{0x11111111, 0x01D00000}, {0x22222222, 0x01D10000}, {0x33333333, 0x01D20000}};
    for (const char* name : {"readme.txt", "data.bin", "Setup.exe"})
        SetTimes(files + "\\" + name, times);

    const std::string installer = scratch / "installer.exe";
    ASSERT_EQ(RunCapturing("\"" + programs + "sfxpack.exe\" create --threads 4 --stub \"" + programs +
                               "sfxstub.exe\" -o \"" +
                               installer + "\" \"" + files + "\"",
                           scratch / "pack.log"),
              0)
        << ReadFile(scratch / "pack.log");

    // The installer gets the test's temporary folder, to show what it leaves.
    SetEnvironmentVariableA("TMP", (temporary + "\\").c_str());
    SetEnvironmentVariableA("TEMP", (temporary + "\\").c_str());
    const int exitCode = RunCapturing("\"" + programs + "installer_driver.exe\" \"" + installer + "\"",
                                      scratch / "run.log");
    std::string shown = ReadFile(scratch / "run.log");
    std::erase(shown, '\r');

    EXPECT_EQ(exitCode, 18) << shown;
    for (const char* line : {"status: Preparing data file...\n", "status: Decompress merge data file...\n",
                             "status: Copying ...\\data.bin\n", "status: Update completed.\n",
                             "box (information): All files successfully extract to the specified folder.\n",
                             "exit code: 18\n"})
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;
    EXPECT_EQ(shown.find("box (error)"), std::string::npos) << shown;

    for (const char* name : {"readme.txt", "data.bin", "Setup.exe"}) {
        SCOPED_TRACE(name);
        const std::string installed = std::string("C:\\Quillmoor\\") + name;
        const Times got = TimesOf(installed);
        EXPECT_TRUE(got.write == times.write);
        if (std::string(name) != "Setup.exe") {  // running Setup reads it, which moves its access time
            EXPECT_TRUE(got.access == times.access);
        }
        EXPECT_TRUE(SameBytes(ReadFile(installed), ReadFile(files + "\\" + name)));
    }

    // Setup runs on its own after the installer has ended; it leaves a mark.
    std::string mark;
    for (int wait = 0; wait < 100 && mark.empty(); ++wait, Sleep(100))
        mark = ReadFile("C:\\Quillmoor\\setup-ran.txt");
    std::erase(mark, '\r');
    EXPECT_EQ(mark, "Setup ran from C:\\Quillmoor\\ with working directory C:\\Quillmoor\n");
    EXPECT_TRUE(FolderIsEmpty(temporary)) << "the installer left files in the temporary folder";
}

}  // namespace
