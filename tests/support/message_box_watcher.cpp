#include "tests/support/message_box_watcher.h"

#include <utility>

namespace {

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// A message box is a dialog of this process with at least one button; the
// progress window has none.
bool IsMessageBox(HWND window)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || ClassOf(window) != "#32770")
        return false;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == "Button")
            return true;
    return false;
}

std::string NameOfIcon(HICON icon)
{
    const std::pair<LPCSTR, const char*> known[] = {
        {IDI_HAND, "error"}, {IDI_ASTERISK, "information"},
        {IDI_EXCLAMATION, "exclamation"}, {IDI_QUESTION, "question"}};
    for (const auto& [id, name] : known)
        if (icon && icon == LoadIconA(nullptr, id))
            return name;
    return icon ? "unknown" : "none";
}

BOOL CALLBACK CollectMessageBox(HWND window, LPARAM found)
{
    if (IsMessageBox(window))
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher() : thread_([this] { Watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher()
{
    stopping_ = true;
    thread_.join();
}

std::vector<ShownBox> MessageBoxWatcher::Boxes()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

void MessageBoxWatcher::Watch()
{
    while (!stopping_) {
        std::vector<HWND> found;
        EnumWindows(CollectMessageBox, reinterpret_cast<LPARAM>(&found));
        std::erase_if(answered_, [](HWND box) { return !IsWindow(box); });
        for (HWND box : found)
            if (!answered_.count(box))
                Answer(box);
        Sleep(10);
    }
}

void MessageBoxWatcher::Answer(HWND box)
{
    ShownBox shown{TextOf(box), "", "none"};
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != "Static")
            continue;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            shown.icon = NameOfIcon(reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)));
        else if (shown.text.empty())
            shown.text = TextOf(child);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back(shown);
        answered_.insert(box);
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}
