// Watches a process's message boxes (this one's unless told otherwise) from a
// thread of its own, as a user would: reads each box's text and icon, then
// presses OK. A callback, when given, sees each box first.
#ifndef SFX_TESTS_SUPPORT_MESSAGE_BOX_WATCHER_H
#define SFX_TESTS_SUPPORT_MESSAGE_BOX_WATCHER_H

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct ShownBox {
    std::string title;
    std::string text;
    std::string icon;  // "error", "information", "exclamation", "question" or "none"
    bool operator==(const ShownBox&) const = default;
};

class MessageBoxWatcher {
public:
    using OnBox = std::function<void(HWND box, const ShownBox& shown)>;
    explicit MessageBoxWatcher(DWORD process = GetCurrentProcessId(), OnBox onBox = {});
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    std::vector<ShownBox> Boxes();

private:
    void Watch();
    void Answer(HWND box);

    DWORD process_;
    OnBox onBox_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<ShownBox> boxes_;
    std::set<HWND> answered_;
    std::thread thread_;
};

#endif
