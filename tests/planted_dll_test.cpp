// An installer started from a folder where someone planted a DLL named like a
// system one, in the installer's folder and in the current directory, with Wine
// told to prefer such DLLs to its own: the installer loads neither. A stub
// built without that protection does load it, which shows the test can tell.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/folders.h"
#include "tests/support/message_box_watcher.h"
#include "tests/support/package_maker.h"
#include "tests/support/temp_folder.h"

namespace {

const char kMark[] = "C:\\planted-dll-loaded.txt";

// The processor a PE file is for, from its file header.
uint16_t MachineOf(const std::string& file)
{
    auto byte = [&](size_t at) -> size_t { return at < file.size() ? static_cast<uint8_t>(file[at]) : 0; };
    const size_t header = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
    return static_cast<uint16_t>(byte(header + 4) | byte(header + 5) << 8);
}

struct Outcome {
    int exit_code;
    std::vector<ShownBox> boxes;
};

// Runs `stub` with a package from a downloads folder holding the planted DLL,
// in a current directory holding another.
Outcome RunBesidePlantedDll(const std::string& stub)
{
    TempFolder scratch;
    const std::string downloads = scratch / "Downloads", current = scratch / "current";
    CreateDirectoryA(downloads.c_str(), nullptr);
    CreateDirectoryA(current.c_str(), nullptr);
    const std::string planted = ReadFile(ProgramFolder() + "planted\\comctl32.dll");
    // A DLL for another processor would never be loaded, whatever the stub does.
    EXPECT_EQ(MachineOf(planted), MachineOf(ReadFile(stub))) << "the planted DLL is not for the stub's processor";
    EXPECT_NE(MachineOf(planted), 0);
    WriteFile(downloads + "\\comctl32.dll", planted);
    WriteFile(current + "\\comctl32.dll", planted);
    const std::string installer = downloads + "\\installer.exe";
    WriteFile(installer, MakeInstaller(ReadFile(stub), Deflate(MakeMergeFile({{"hello.txt", "hello"}}))));
    DeleteFileA(kMark);
    RemoveFolder("C:\\Quillmoor");

    std::string command = "\"" + installer + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    Outcome outcome = {-1, {}};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, current.c_str(), &startup,
                       &process)) {
        MessageBoxWatcher watcher(process.dwProcessId);
        if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, reinterpret_cast<DWORD*>(&outcome.exit_code));
        outcome.boxes = watcher.Boxes();
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return outcome;
}

// Wine reads its DLL preferences when a process starts, from the environment
// the test runner gives it (see CMakeLists.txt).
bool WinePrefersNativeComctl32()
{
    char overrides[256] = {};
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    return std::string(overrides).find("comctl32=n") != std::string::npos;
}

TEST(PlantedDll, TheInstallerLoadsNoneAndInstalls)
{
    ASSERT_TRUE(WinePrefersNativeComctl32()) << "WINEDLLOVERRIDES=comctl32=n,b is not set";
    const Outcome outcome = RunBesidePlantedDll(ProgramFolder() + "sfxstub.exe");
    EXPECT_EQ(outcome.exit_code, 18);
    const std::vector<ShownBox> success = {
        {"Self-Extractor", "All files successfully extract to the specified folder.", "information"}};
    EXPECT_EQ(outcome.boxes, success);
    EXPECT_EQ(ReadFile("C:\\Quillmoor\\hello.txt"), "hello");
    EXPECT_EQ(ReadFile(kMark), "") << "the planted DLL was loaded";
}

TEST(PlantedDll, AStubWithoutTheProtectionLoadsIt)
{
    ASSERT_TRUE(WinePrefersNativeComctl32()) << "WINEDLLOVERRIDES=comctl32=n,b is not set";
    RunBesidePlantedDll(ProgramFolder() + "sfxstub_unprotected.exe");
    EXPECT_NE(ReadFile(kMark), "") << "the planted DLL was not loaded: the other test could not tell";
    DeleteFileA(kMark);
}

}  // namespace
