// local_time.cpp: local time through the C library, which follows the TZ variable; local times
// become instants by the rules of LocalClock (mktime leaves skipped and repeated times to chance).
#include "library/local_time.hpp"

#include <ctime>

#include "library/local_clock.hpp"

namespace winemu {

Instant instant_from_local(const SYSTEMTIME& local) noexcept {
    using namespace std::chrono;
    const local_days day{year(local.wYear) / month(local.wMonth) / std::chrono::day(local.wDay)};
    LocalClock zone;
    return zone.instant_from_local(day + hours(local.wHour) + minutes(local.wMinute) + seconds(local.wSecond));
}

SYSTEMTIME local_from_instant(Instant instant) noexcept {
    const std::time_t seconds = instant.time_since_epoch().count();
    std::tm fields{};
    localtime_r(&seconds, &fields);
    return SYSTEMTIME{
        .wYear = static_cast<WORD>(fields.tm_year + 1900),
        .wMonth = static_cast<WORD>(fields.tm_mon + 1),
        .wDayOfWeek = static_cast<WORD>(fields.tm_wday),
        .wDay = static_cast<WORD>(fields.tm_mday),
        .wHour = static_cast<WORD>(fields.tm_hour),
        .wMinute = static_cast<WORD>(fields.tm_min),
        .wSecond = static_cast<WORD>(fields.tm_sec),
        .wMilliseconds = 0,
    };
}

DATE date_from_instant(Instant instant) noexcept {
    const std::time_t seconds = instant.time_since_epoch().count();
    std::tm fields{};
    localtime_r(&seconds, &fields);
    // Local wall-clock seconds since 1970, then days since 1899-12-30 (25569 days before 1970).
    const double local_seconds = static_cast<double>(seconds) + static_cast<double>(fields.tm_gmtoff);
    return local_seconds / 86400.0 + 25569.0;
}

}  // namespace winemu
