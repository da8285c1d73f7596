// Compares two byte strings and, when they differ, says where instead of
// printing them whole.
#ifndef SFX_TESTS_SUPPORT_SAME_BYTES_H
#define SFX_TESTS_SUPPORT_SAME_BYTES_H

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

inline testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected)
{
    if (actual == expected)
        return testing::AssertionSuccess();
    const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                       << " were expected; the first difference is at offset "
                                       << (mismatch.first - actual.begin());
}

#endif
