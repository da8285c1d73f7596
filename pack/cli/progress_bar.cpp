#include "pack/cli/progress_bar.h"

#include <cstdio>

#include "pack/system/platform.h"

namespace {

constexpr auto kQuietPeriod = std::chrono::milliseconds(500);
constexpr int kWidth = 30;

}  // namespace

ProgressBar::ProgressBar(std::string label, bool enabled)
    : label_(std::move(label)), drawing_(enabled && StandardErrorIsTerminal()), start_(std::chrono::steady_clock::now())
{
}

ProgressBar::~ProgressBar()
{
    if (drawn_)
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(label_.size()) + kWidth + 32, "");
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
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%% %8.1f MiB", label_.c_str(), filled,
                 "==============================", kWidth - filled, "", percent, done / 1048576.0);
    std::fflush(stderr);
}
