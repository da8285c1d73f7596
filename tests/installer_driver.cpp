// Runs an installer as a user would and says what its windows showed, as it
// happens: every status line and percentage of the progress window, and every
// message box, which it answers with OK. Ends with the installer's exit code.
//   installer_driver [--temp FOLDER] [--close-at STATUS] INSTALLER.exe [PICTURES_FOLDER]
// --temp gives the installer that temporary folder, any Unicode name (it is
// read from the wide command line). --close-at closes the
// window as a user would, 100 ms after a status line that starts with STATUS
// shows, and says when. With a pictures folder, it saves progress-window.bmp
// (while files are being copied) and success-box.bmp there.
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "resources/resource_ids.h"
#include "tests/support/message_box_watcher.h"
#include "tests/support/screenshot.h"

namespace {

struct Search {
    DWORD process;
    HWND found;
};

// The progress window: a dialog of the process with the status control.
BOOL CALLBACK FindProgressWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && GetDlgItem(window, IDC_STATUS_TEXT)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::string ControlText(HWND window, int control)
{
    char text[512] = {};
    GetWindowTextA(GetDlgItem(window, control), text, sizeof text);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string closeAt;
    int wideCount = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
    for (int at = 1; argc >= 3 && (std::string(argv[1]) == "--temp" || std::string(argv[1]) == "--close-at");
         at += 2) {
        if (std::string(argv[1]) == "--temp" && wide && at + 1 < wideCount) {
            const std::wstring temporary = std::wstring(wide[at + 1]) + L"\\";
            SetEnvironmentVariableW(L"TMP", temporary.c_str());
            SetEnvironmentVariableW(L"TEMP", temporary.c_str());
        } else {
            closeAt = argv[2];
        }
        argc -= 2;
        argv += 2;
    }
    LocalFree(wide);
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: installer_driver [--temp FOLDER] [--close-at STATUS] INSTALLER.exe [PICTURES_FOLDER]\n");
        return 1;
    }
    const std::string pictures = argc > 2 ? std::string(argv[2]) + "\\" : "";
    std::string command = "\"" + std::string(argv[1]) + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    const auto started = std::chrono::steady_clock::now();
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "installer_driver: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }

    // Each line starts with the seconds since the installer started.
    auto stamp = [&] {
        std::printf("[%6.3f] ", std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    };
    MessageBoxWatcher boxes(process.dwProcessId, [&](HWND box, const ShownBox& shown) {
        stamp();
        std::printf("box (%s): %s\n", shown.icon.c_str(), shown.text.c_str());
        std::fflush(stdout);
        if (!pictures.empty() && shown.icon == "information") {
            Sleep(200);  // let it finish drawing
            SaveWindowPicture(box, pictures + "success-box.bmp");
        }
    });

    std::string status, percent;
    bool pictured = pictures.empty();
    const auto deadline = started + std::chrono::minutes(2);
    while (WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::printf("the installer did not end within 2 minutes\n");
            TerminateProcess(process.hProcess, 2);
            return 2;
        }
        Search search{process.dwProcessId, nullptr};
        EnumWindows(FindProgressWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found || !IsWindowVisible(search.found))
            continue;
        const std::string nowStatus = ControlText(search.found, IDC_STATUS_TEXT);
        const std::string nowPercent = ControlText(search.found, IDC_PERCENT_TEXT);
        if (nowStatus != status) {
            stamp();
            std::printf("status: %s\n", nowStatus.c_str());
        }
        if (nowPercent != percent) {
            stamp();
            std::printf("percent: %s\n", nowPercent.c_str());
        }
        std::fflush(stdout);
        status = nowStatus;
        percent = nowPercent;
        if (!closeAt.empty() && status.rfind(closeAt, 0) == 0) {
            closeAt.clear();
            Sleep(100);  // well inside the step
            PostMessageA(search.found, WM_SYSCOMMAND, SC_CLOSE, 0);
            stamp();
            std::printf("closed\n");
        }
        if (!pictured && status.rfind("Copying", 0) == 0) {
            Sleep(50);
            pictured = SaveWindowPicture(search.found, pictures + "progress-window.bmp");
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    std::printf("exit code: %lu\nelapsed: %.3f s\n", exitCode, seconds);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
