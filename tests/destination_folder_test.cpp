// The stub installs into one folder: Quillmoor at the root of the system drive.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/destination_folder.h"
#include "tests/support/folders.h"

TEST(DestinationFolder, IsCreatedAtTheRootOfTheSystemDriveAndFoundAgain)
{
    char systemDirectory[MAX_PATH] = {};
    GetSystemDirectoryA(systemDirectory, MAX_PATH);
    ASSERT_STREQ(systemDirectory, "C:\\windows\\system32");
    RemoveFolder("C:\\Quillmoor");

    EXPECT_EQ(PrepareDestinationFolder(nullptr), 13);
    EXPECT_STREQ(DestinationFolder, "C:\\Quillmoor\\");
    EXPECT_TRUE(IsFolder("C:\\Quillmoor"));

    EXPECT_EQ(PrepareDestinationFolder(nullptr), 13) << "a second run finds the folder in place";
    EXPECT_STREQ(DestinationFolder, "C:\\Quillmoor\\");
}

TEST(DestinationFolder, LiesOnTheDriveOfTheSystemDirectory)
{
    struct Case {
        const char* systemDirectory;
        const char* folder;
    };
    const Case cases[] = {
        {"C:\\windows\\system32", "C:\\Quillmoor\\"},
        {"D:\\WINNT\\System32", "D:\\Quillmoor\\"},
        {"e:\\", "e:\\Quillmoor\\"},
        // No drive root: installing relative to the current directory would
        // write wherever the user happened to start the program.
        {"", ""},
        {"system32", ""},
        {"C:system32", ""},
        {"\\\\server\\share\\system32", ""},
    };
    for (const Case& c : cases) {
        char folder[MAX_PATH] = "junk";
        EXPECT_EQ(BuildDestinationPath(c.systemDirectory, folder, sizeof folder),
                  static_cast<int>(std::string(c.folder).size()))
            << c.systemDirectory;
        EXPECT_STREQ(folder, c.folder) << c.systemDirectory;
    }
}

TEST(DestinationFolder, IsNeverCutShort)
{
    char small[8] = "junk";
    EXPECT_EQ(BuildDestinationPath("C:\\windows\\system32", small, sizeof small), 0);
    EXPECT_STREQ(small, "");
}
