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

struct Search {
    DWORD process;
    std::vector<HWND> found;
};

// A message box is a dialog of the process with at least one button; the
// progress window has none.
bool IsMessageBox(HWND window, DWORD owner)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != owner || !IsWindowVisible(window) || ClassOf(window) != "#32770")
        return false;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == "Button")
            return true;
    return false;
}

// What colour an icon shows on screen: red for error, blue for information,
// yellow for exclamation. For another process's box, whose icon handle means
// nothing here.
std::string NameOfIconByColour(HWND iconControl)
{
    RECT place = {};
    GetWindowRect(iconControl, &place);
    HDC screen = GetDC(nullptr);
    int red = 0, blue = 0, yellow = 0;
    for (int y = place.top; y < place.bottom; ++y) {
        for (int x = place.left; x < place.right; ++x) {
            const COLORREF colour = GetPixel(screen, x, y);
            const int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
            red += r > 150 && g < 100 && b < 100;
            blue += b > 150 && r < 120;
            yellow += r > 180 && g > 150 && b < 100;
        }
    }
    ReleaseDC(nullptr, screen);
    if (red > blue && red > yellow)
        return "error";
    if (blue > red && blue > yellow)
        return "information";
    if (yellow > 0)
        return "exclamation";
    return "unknown";
}

std::string NameOfIcon(HWND iconControl)
{
    const HICON icon = reinterpret_cast<HICON>(SendMessageA(iconControl, STM_GETICON, 0, 0));
    if (!icon)
        return "none";
    const std::pair<LPCSTR, const char*> known[] = {
        {IDI_HAND, "error"}, {IDI_ASTERISK, "information"},
        {IDI_EXCLAMATION, "exclamation"}, {IDI_QUESTION, "question"}};
    for (const auto& [id, name] : known)
        if (icon == LoadIconA(nullptr, id))
            return name;
    return NameOfIconByColour(iconControl);
}

BOOL CALLBACK CollectMessageBox(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    if (IsMessageBox(window, search->process))
        search->found.push_back(window);
    return TRUE;
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(DWORD process, OnBox onBox)
    : process_(process), onBox_(std::move(onBox)), thread_([this] { Watch(); })
{
}

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
        Search search{process_, {}};
        EnumWindows(CollectMessageBox, reinterpret_cast<LPARAM>(&search));
        std::erase_if(answered_, [](HWND box) { return !IsWindow(box); });
        for (HWND box : search.found)
            if (!answered_.count(box))
                Answer(box);
        Sleep(10);
    }
}

void MessageBoxWatcher::Answer(HWND box)
{
    if (process_ != GetCurrentProcessId())
        Sleep(100);  // another process's box: let it draw before reading it from the screen
    ShownBox shown{TextOf(box), "", "none"};
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != "Static")
            continue;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            shown.icon = NameOfIcon(child);
        else if (shown.text.empty())
            shown.text = TextOf(child);
    }
    if (onBox_)
        onBox_(box, shown);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back(shown);
        answered_.insert(box);
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}
