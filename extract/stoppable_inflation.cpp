#include "extract/stoppable_inflation.h"

#include "extract/worker_reports.h"
#include "inflate/stream_inflater.h"

namespace {

// Looks at the stop event at each new percentage: often enough that a stop
// takes effect within a percent of the package, rarely enough that the looks
// (each a round trip to the server under Wine) cost nothing next to inflating.
class StoppableInflater : public StreamInflater {
public:
    void OnProgress(int percent) override
    {
        if (percent != lastPercent_ && StopSignalled())
            abort_requested = 1;
        lastPercent_ = percent;
    }

private:
    int lastPercent_ = -1;
};

}  // namespace

int InflateUnlessStopped(const char* inputPath, const char* outputPath)
{
    // On the worker's stack: its two buffers are 8 KiB, and it owns nothing
    // once Decompress has returned.
    StoppableInflater engine;
    return engine.Decompress(inputPath, outputPath);
}
