// A progress bar on stderr for long work, with the time it has left, drawn
// only when stderr is a terminal and only once the work has taken more than a
// moment.
#ifndef SFX_PACK_PROGRESS_BAR_H
#define SFX_PACK_PROGRESS_BAR_H

#include <chrono>
#include <cstdint>
#include <string>

class ProgressBar {
public:
    // Disabled, it draws nothing: --quiet.
    ProgressBar(std::string label, bool enabled);
    ~ProgressBar();  // clears the line it drew
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Update(uint64_t done, uint64_t total);

private:
    std::string TimeLeft(uint64_t done, uint64_t total) const;

    std::string label_;
    bool drawing_;  // enabled, and stderr is a terminal
    bool drawn_ = false;
    int lastPercent_ = -1;
    std::chrono::steady_clock::time_point start_;
};

#endif
