#include "pack/system/file_times.h"

#include <cstdint>
#include <cstdio>

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;

constexpr int64_t kTicksPerSecond = 10000000;  // FILETIMEs count 100 ns

}  // namespace

std::optional<uint64_t> FileTimeFromUnixTime(UnixTime time)
{
    // Seconds and their fraction apart: nanoseconds since 1970 would overflow
    // 64 bits in 2262.
    constexpr int64_t kLatestSeconds = static_cast<int64_t>(kLatestFileTime / kTicksPerSecond) - kEpochDifference;
    if (time.seconds < -kEpochDifference || time.seconds > kLatestSeconds || time.nanoseconds >= 1000000000)
        return std::nullopt;
    const uint64_t seconds = static_cast<uint64_t>(time.seconds + kEpochDifference);
    const uint64_t fraction = time.nanoseconds / 100;
    if (seconds > (kLatestFileTime - fraction) / kTicksPerSecond)
        return std::nullopt;
    return seconds * kTicksPerSecond + fraction;
}

UnixTime UnixTimeFromFileTime(uint64_t fileTime)
{
    // Every FILETIME, the high bit's too, is less than 60,000 years: seconds fit.
    return {static_cast<int64_t>(fileTime / kTicksPerSecond) - kEpochDifference,
            static_cast<uint32_t>(fileTime % kTicksPerSecond * 100)};
}

std::string FormatFileTime(uint64_t fileTime)
{
    return FormatUnixTime(UnixTimeFromFileTime(fileTime).seconds);
}

std::string FormatUnixTime(int64_t unixSeconds)
{
    int64_t days = unixSeconds / 86400, secondOfDay = unixSeconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    // Days since 1970-01-01 to a civil date (the proleptic Gregorian calendar),
    // counted in eras of 400 years from 0000-03-01.
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(secondOfDay / 3600), static_cast<long long>(secondOfDay / 60 % 60),
                  static_cast<long long>(secondOfDay % 60));
    return text;
}
