// A package that the packer's resource writer puts into a Windows program is
// found by the loader and by LoadPackageResource, byte for byte, and the
// rewritten program still runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "pack/pe/resource_writer.h"
#include "tests/support/folders.h"
#include "tests/support/message_box_watcher.h"
#include "tests/support/package_maker.h"
#include "tests/support/random_bytes.h"
#include "tests/support/same_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

// Runs a program, answering its message boxes, and returns its exit code, or
// -1 when it cannot start or does not end within 20 s.
int RunAndWait(const std::string& program, const std::string& argument = "", std::vector<ShownBox>* boxes = nullptr)
{
    std::string command = "\"" + program + "\"" + (argument.empty() ? "" : " \"" + argument + "\"");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    DWORD exitCode = static_cast<DWORD>(-1);
    {
        MessageBoxWatcher watcher(process.dwProcessId);
        if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &exitCode);
        if (boxes)
            *boxes = watcher.Boxes();
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

// Writes a copy of `program` carrying `package`; fails the test if the writer refuses.
void PutPackage(const std::string& program, const std::string& package, const std::string& copy)
{
    const std::string original = ReadFile(program);
    std::string error;
    const std::optional<ResourceWriteResult> written =
        WritePackageResource(Bytes(original.begin(), original.end()), Bytes(package.begin(), package.end()), &error);
    ASSERT_TRUE(written) << error;
    WriteFile(copy, std::string(written->file.begin(), written->file.end()));
}

class PackageResourceTest : public ::testing::Test {
protected:
    TempFolder folder;
    const std::string probe = ProgramFolder() + "package_probe.exe";
    const std::string found = folder / "found.bin";
};

TEST_F(PackageResourceTest, AProgramWithoutAPackageFindsNone)
{
    EXPECT_EQ(RunAndWait(probe, found), 3);
}

TEST_F(PackageResourceTest, TheProgramFindsThePackageByteForByte)
{
    const std::string package = RandomBytes(300000, 1);
    PutPackage(probe, package, folder / "probe.exe");

    ASSERT_EQ(RunAndWait(folder / "probe.exe", found), 0);
    EXPECT_TRUE(SameBytes(ReadFile(found), package));
}

TEST_F(PackageResourceTest, AReplacedPackageIsTheOneFound)
{
    PutPackage(probe, RandomBytes(5000, 1), folder / "first.exe");
    const std::string second = RandomBytes(70000, 2);
    PutPackage(folder / "first.exe", second, folder / "second.exe");

    ASSERT_EQ(RunAndWait(folder / "second.exe", found), 0);
    EXPECT_TRUE(SameBytes(ReadFile(found), second));
}

TEST_F(PackageResourceTest, TheRewrittenStubStillRunsAndInstallsItsPackage)
{
    RemoveFolder("C:\\Quillmoor");
    PutPackage(ProgramFolder() + "sfxstub.exe", Deflate(MakeMergeFile({{"hello.txt", "hello"}})),
               folder / "installer.exe");

    std::vector<ShownBox> boxes;
    EXPECT_EQ(RunAndWait(folder / "installer.exe", "", &boxes), 18);
    const std::vector<ShownBox> expected = {
        {"Self-Extractor", "All files successfully extract to the specified folder.", "information"}};
    EXPECT_EQ(boxes, expected);
    EXPECT_EQ(ReadFile("C:\\Quillmoor\\hello.txt"), "hello");
}

}  // namespace
