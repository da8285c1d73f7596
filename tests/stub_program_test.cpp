// The built stub, started as a user starts it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/folders.h"

TEST(StubProgram, CreatesItsFolderAndExitsWith18)
{
    RemoveFolder("C:\\Quillmoor");
    std::string command = "\"" + ProgramFolder() + "sfxstub.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
        << command;

    ASSERT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0) << "the stub did not end";
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EXPECT_EQ(exitCode, 18u);
    EXPECT_TRUE(IsFolder("C:\\Quillmoor"));
}
