// The built stub, started as a user starts it, without a package.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/folders.h"
#include "tests/support/message_box_watcher.h"

TEST(StubProgram, WithoutAPackageSaysSoAndExitsWith18LeavingNoFolder)
{
    RemoveFolder("C:\\Quillmoor");
    std::string command = "\"" + ProgramFolder() + "sfxstub.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process))
        << command;
    DWORD exitCode = 0;
    std::vector<ShownBox> boxes;
    {
        MessageBoxWatcher watcher(process.dwProcessId);
        ASSERT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0) << "the stub did not end";
        boxes = watcher.Boxes();
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EXPECT_EQ(exitCode, 18u);
    const std::vector<ShownBox> expected = {
        {"Self-Extractor", "Fail to extract the data, extracting process aborted!", "error"}};
    EXPECT_EQ(boxes, expected);
    EXPECT_FALSE(IsFolder("C:\\Quillmoor")) << "the folder it made, with nothing installed into it";
}
