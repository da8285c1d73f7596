#include "pack/cli/progress_bar.h"

#include <cstdio>

#include "pack/system/platform.h"

namespace {

constexpr auto kQuietPeriod = std::chrono::milliseconds(500);
constexpr int kWidth = 30;

}  // namespace

// "1:23 left", from the pace so far; empty before there is one.
std::string ProgressBar::TimeLeft(uint64_t done, uint64_t total) const
{
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (done == 0 || done >= total)
        return std::string(12, ' ');
    const long long seconds = static_cast<long long>(elapsed * static_cast<double>(total - done) / done + 0.5);
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld left   ", seconds / 60, seconds % 60);
    return text;
}

ProgressBar::ProgressBar(std::string label, bool enabled)
    : label_(std::move(label)), drawing_(enabled && StandardErrorIsTerminal()), start_(std::chrono::steady_clock::now())
{
}

ProgressBar::~ProgressBar()
{
    if (drawn_)
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(label_.size()) + kWidth + 46, "");
}

void ProgressBar::Update(uint64_t done, uint64_t total)
{
    if (!drawing_ || std::chrono::steady_clock::now() - start_ < kQuietPeriod)
        return;
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    drawn_ = true;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%% %8.1f MiB %s", label_.c_str(), filled,
                 "==============================", kWidth - filled, "", percent, done / 1048576.0,
                 TimeLeft(done, total).c_str());
    std::fflush(stderr);
}
