// The progress window from start to end, run by the real WinMain on the real
// dialog template. The worker is each test's own script, so that a test decides
// what the worker does while the window runs; message hooks record what the
// window was sent.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/destination_folder.h"
#include "app/stub_state.h"
#include "extract/extraction_worker.h"
#include "resources/resource_ids.h"
#include "tests/support/folders.h"
#include "tests/support/message_box_watcher.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

namespace {

const char kFolder[] = "C:\\Quillmoor";

std::function<void(HWND)> WorkerScript;
std::atomic<bool> WorkerStarted{false};

// What the window was sent and when, as the hooks saw it.
struct WindowLog {
    HWND window = nullptr;
    bool visibleAfterInit = true;
    std::string captionAfterInit;
    std::string captionWhenShown;
    LONG iconWidth = 0;
    std::vector<WORD> commands;
    int closes = 0;
    int endNotices = 0;
    HANDLE stopEventAtFirstClose = nullptr;
    HANDLE stopEventCopy = nullptr;  // duplicated at the first close, to see whether it was signalled
    HANDLE shown = nullptr;          // set once the window is shown
    std::function<void()> beforeEndNotice;
};
WindowLog Log;

std::string CaptionOf(HWND window)
{
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    return caption;
}

LONG WidthOfIcon(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap = {};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

LRESULT CALLBACK AfterSentMessage(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG) {
        Log.window = sent->hwnd;
        Log.visibleAfterInit = IsWindowVisible(sent->hwnd);
        Log.captionAfterInit = CaptionOf(sent->hwnd);
        Log.iconWidth = WidthOfIcon(reinterpret_cast<HICON>(SendMessageA(sent->hwnd, WM_GETICON, ICON_BIG, 0)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK BeforeSentMessage(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == Log.window) {
        if (sent->message == WM_SHOWWINDOW && sent->wParam) {
            Log.captionWhenShown = CaptionOf(sent->hwnd);
            SetEvent(Log.shown);
        }
        if (sent->message == WM_COMMAND)
            Log.commands.push_back(LOWORD(sent->wParam));
        if (sent->message == WM_CLOSE && Log.closes++ == 0) {
            Log.stopEventAtFirstClose = StopEvent;
            DuplicateHandle(GetCurrentProcess(), StopEvent, GetCurrentProcess(), &Log.stopEventCopy, 0,
                            FALSE, DUPLICATE_SAME_ACCESS);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK BeforePostedMessage(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* posted = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && posted->hwnd == Log.window &&
        posted->message == WM_DESTROY) {
        ++Log.endNotices;
        if (Log.beforeEndNotice)
            Log.beforeEndNotice();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// What the user does with the close button, the system menu or Alt+F4.
void CloseLikeUser(HWND window)
{
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void PostEndNotice(HWND window)
{
    PostMessageA(window, WM_DESTROY, 0, 0);
}

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveFolder(kFolder);
        Log = WindowLog{};
        Log.shown = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        WorkerScript = PostEndNotice;
        const DWORD thread = GetCurrentThreadId();
        hooks_[0] = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterSentMessage, nullptr, thread);
        hooks_[1] = SetWindowsHookExA(WH_CALLWNDPROC, BeforeSentMessage, nullptr, thread);
        hooks_[2] = SetWindowsHookExA(WH_GETMESSAGE, BeforePostedMessage, nullptr, thread);
    }

    void TearDown() override
    {
        for (HHOOK hook : hooks_)
            UnhookWindowsHookEx(hook);
    }

    static int RunStub(HINSTANCE module = GetModuleHandleA(nullptr))
    {
        return WinMain(module, nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
    }

private:
    HHOOK hooks_[3] = {};
};

}  // namespace

DWORD WINAPI ExtractionWorker(LPVOID window)
{
    WorkerStarted = true;
    WorkerScript(static_cast<HWND>(window));
    return 0;
}

TEST_F(ProgressWindowTest, StartsHiddenWithItsCaptionAndIconAndEndsWith18)
{
    EXPECT_EQ(RunStub(), 18);

    EXPECT_FALSE(Log.visibleAfterInit);
    EXPECT_EQ(Log.captionAfterInit, "Self-Extractor");
    EXPECT_EQ(Log.captionWhenShown, "Self-Extractor");
    EXPECT_EQ(Log.iconWidth, GetSystemMetrics(SM_CXICON)) << "the large icon is set";
    EXPECT_TRUE(WorkerStarted);
    EXPECT_TRUE(IsFolder(kFolder));
}

TEST_F(ProgressWindowTest, WarnsAndExitsWith0WhenTheTemplateIsMissing)
{
    MessageBoxWatcher watcher;

    EXPECT_EQ(RunStub(GetModuleHandleA("kernel32.dll")), 0);

    const std::vector<ShownBox> expected = {
        {"Self-Extractor", "Fail to start self-extract program!", "exclamation"}};
    EXPECT_EQ(watcher.Boxes(), expected);
    EXPECT_FALSE(WorkerStarted);
    EXPECT_FALSE(IsFolder(kFolder));
}

TEST_F(ProgressWindowTest, AClosedWindowWithoutARunningWorkerExitsAtOnce)
{
    WorkerScript = [](HWND) {};  // ends without an end notice: the window stays idle
    DWORD closedAt = 0;
    std::thread user([&] {
        WaitForSingleObject(Log.shown, INFINITE);
        WaitForSingleObject(WorkerThread, INFINITE);
        closedAt = GetTickCount();
        CloseLikeUser(Log.window);
    });

    EXPECT_EQ(RunStub(), 18);
    const DWORD closing = GetTickCount() - closedAt;
    user.join();

    EXPECT_EQ(Log.closes, 1);
    EXPECT_LT(closing, 400u) << "no 500 ms allowance for a worker that has ended";
    EXPECT_EQ(WaitForSingleObject(Log.stopEventCopy, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "no stop request without a worker";
}

TEST_F(ProgressWindowTest, ACloseDuringALongStepLetsTheWorkerFinishItAndStop)
{
    std::atomic<bool> stepFinished{false};
    DWORD nextCheck = WAIT_FAILED;
    WorkerScript = [&](HWND window) {
        CloseLikeUser(window);
        Sleep(1500);  // a step that does not look at the stop event, like writing a file
        stepFinished = true;
        nextCheck = WaitForSingleObject(StopEvent, 100);
        PostEndNotice(window);
    };

    EXPECT_EQ(RunStub(), 18);

    EXPECT_TRUE(stepFinished) << "the program ended in the middle of the worker's step";
    EXPECT_EQ(nextCheck, WAIT_OBJECT_0) << "the stop request was gone before the worker could see it";
    EXPECT_EQ(WaitForSingleObject(WorkerThread, 0), WAIT_OBJECT_0) << "the worker had ended";
}

TEST_F(ProgressWindowTest, AnEndNoticeAfterTheUserClosedReleasesNothingTwice)
{
    DWORD workerSawStop = WAIT_FAILED;
    WorkerScript = [&](HWND window) {
        CloseLikeUser(window);
        workerSawStop = WaitForSingleObject(StopEvent, 5000);
        PostEndNotice(window);
    };
    // By the end notice the first pass has released the stop event, and a new
    // handle takes its number: releasing the event again would close this one.
    HANDLE newcomer = nullptr;
    Log.beforeEndNotice = [&] { newcomer = CreateEventA(nullptr, TRUE, FALSE, nullptr); };

    EXPECT_EQ(RunStub(), 18);

    EXPECT_EQ(workerSawStop, WAIT_OBJECT_0);
    EXPECT_EQ(Log.closes, 1);
    EXPECT_EQ(Log.endNotices, 1);
    ASSERT_EQ(newcomer, Log.stopEventAtFirstClose) << "the handle number was not reused: nothing to tell";
    EXPECT_EQ(WaitForSingleObject(newcomer, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "closed twice";
}

TEST_F(ProgressWindowTest, EnterAndEscDoNothing)
{
    DWORD stopRequest = WAIT_FAILED;
    bool stillShown = false;
    WorkerScript = [&](HWND window) {
        for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
            PostMessageA(window, WM_KEYDOWN, key, 0x00000001);
            PostMessageA(window, WM_KEYUP, key, 0xC0000001);
        }
        Sleep(300);
        stopRequest = WaitForSingleObject(StopEvent, 0);
        stillShown = IsWindowVisible(window);
        PostEndNotice(window);
    };

    EXPECT_EQ(RunStub(), 18);

    EXPECT_EQ(Log.commands, (std::vector<WORD>{IDOK, IDCANCEL})) << "the keys reached the window";
    EXPECT_EQ(stopRequest, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(stillShown);
    EXPECT_EQ(Log.closes, 0);
}
