// From a folder to installed files, as users do it: sfxpack makes the
// installer, and the installer runs as its own process, driven by
// installer_driver, which answers its boxes and reports what it showed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/folders.h"
#include "tests/support/icon_maker.h"
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

// A version block string as Windows reads it, or "(none)".
std::string VersionString(const std::string& file, const std::string& key)
{
    std::string block(GetFileVersionInfoSizeA(file.c_str(), nullptr), '\0');
    char* value = nullptr;
    UINT length = 0;
    if (block.empty() || !GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueA(block.data(), ("\\StringFileInfo\\040904b0\\" + key).c_str(),
                        reinterpret_cast<void**>(&value), &length))
        return "(none)";
    return std::string(value);
}

// The colour of the middle pixel of the 32x32 icon that a window loads from
// the file's icon group 1000, as 0xAARRGGBB.
uint32_t IconColour(const std::string& file)
{
    HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HICON icon = module ? static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(1000), IMAGE_ICON, 32, 32, 0))
                        : nullptr;
    ICONINFO info = {};
    uint32_t pixels[32 * 32] = {};
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), 32, 32, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    if (icon && GetIconInfo(icon, &info))
        GetDIBits(screen, info.hbmColor, 0, 32, pixels, &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    FreeLibrary(module);
    return pixels[16 * 32 + 16];
}

// Packed at zopfli's level too: the stub reads any zlib stream.
TEST(EndToEnd, AVendorsInstallerInstallsAndShowsTheVendorsIdentity)
{
    TempFolder scratch;
    const std::string files = scratch / "files", icon = scratch / "vendor.ico";
    const std::string installer = scratch / "vendor-setup.exe", programs = ProgramFolder();
    CreateDirectoryA(files.c_str(), nullptr);
    WriteFile(files + "\\readme.txt", "Read me.\r\n");
    WriteFile(icon, MakeIconFile({{16, 0xFF00FF00}, {32, 0xFFFF8000}}));
    RemoveFolder("C:\\Quillmoor");
    ASSERT_EQ(RunCapturing("\"" + programs + "sfxpack.exe\" create --stub \"" + programs + "sfxstub.exe\" -o \"" +
                               installer + "\" --icon \"" + icon + "\" --version-string ProductName=Example " +
                               "--file-version 2.1.0.7 --publisher Contoso --execution-level asInvoker --level 11 \"" + files +
                               "\"",
                           scratch / "pack.log"),
              0)
        << ReadFile(scratch / "pack.log");

    EXPECT_EQ(RunCapturing("\"" + programs + "installer_driver.exe\" \"" + installer + "\"", scratch / "run.log"), 18);
    EXPECT_NE(ReadFile(scratch / "run.log").find("box (information): All files successfully extract"),
              std::string::npos)
        << ReadFile(scratch / "run.log");
    EXPECT_EQ(ReadFile("C:\\Quillmoor\\readme.txt"), "Read me.\r\n");

    EXPECT_EQ(VersionString(installer, "ProductName"), "Example");
    EXPECT_EQ(VersionString(installer, "CompanyName"), "Contoso");
    EXPECT_EQ(VersionString(installer, "FileVersion"), "2.1.0.7");
    EXPECT_EQ(VersionString(installer, "FileDescription"), "Self-Extractor") << "the rest as the stub has it";
    DWORD ignored = 0;
    std::string block(GetFileVersionInfoSizeA(installer.c_str(), &ignored), '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(GetFileVersionInfoA(installer.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000007u);
    EXPECT_EQ(IconColour(installer), 0xFFFF8000u) << "the vendor's 32x32 image";
    EXPECT_NE(IconColour(programs + "sfxstub.exe"), 0xFFFF8000u);
}

// The manifest asks for the common controls version 6, which live in the
// side-by-side store; without it a program gets version 5.
TEST(EndToEnd, AProgramPackedWithAManifestGetsWhatItAsks)
{
    TempFolder scratch;
    const std::string programs = ProgramFolder(), probe = scratch / "probe.exe";
    WriteFile(scratch / "payload.txt", "x");
    ASSERT_EQ(RunCapturing("\"" + programs + "sfxpack.exe\" create -q --stub \"" + programs +
                               "manifest_probe.exe\" --execution-level asInvoker -o \"" + probe + "\" \"" +
                               scratch / "payload.txt" + "\"",
                           scratch / "pack.log"),
              0)
        << ReadFile(scratch / "pack.log");
    ASSERT_EQ(RunCapturing("\"" + probe + "\"", scratch / "packed.log"), 0);
    ASSERT_EQ(RunCapturing("\"" + programs + "manifest_probe.exe\"", scratch / "plain.log"), 0);
    const std::string packed = ReadFile(scratch / "packed.log"), plain = ReadFile(scratch / "plain.log");
    EXPECT_NE(packed.find("common-controls_6595b64144ccf1df_6.0"), std::string::npos) << packed;
    EXPECT_EQ(plain.find("common-controls_6595b64144ccf1df_6.0"), std::string::npos) << plain;
    // Wine makes every process DPI aware; Windows does so on the manifest's word.
    EXPECT_EQ(packed.find("dpi awareness 0"), std::string::npos) << packed;
}

}  // namespace
