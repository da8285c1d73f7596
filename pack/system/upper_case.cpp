#include "pack/system/upper_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

struct Run {
    char32_t first, last;
    uint8_t stride;
    int32_t distance;
};

constexpr Run kRuns[] = {
#include "pack/system/upper_case_table.inc"
};

}  // namespace

char32_t UpperCase(char32_t c)
{
    // The last run that starts at or before c.
    const Run* run = std::upper_bound(std::begin(kRuns), std::end(kRuns), c,
                                      [](char32_t value, const Run& each) { return value < each.first; });
    if (run == std::begin(kRuns))
        return c;
    --run;
    if (c > run->last || (c - run->first) % run->stride != 0)
        return c;
    return static_cast<char32_t>(static_cast<int32_t>(c) + run->distance);
}
