// local_time.cpp: local time through the C library, which follows the TZ variable.
#include "library/local_time.hpp"

#include <ctime>

namespace winemu {

Instant instant_from_local(const SYSTEMTIME& local) noexcept {
    std::tm fields{};
    fields.tm_year = local.wYear - 1900;
    fields.tm_mon = local.wMonth - 1;
    fields.tm_mday = local.wDay;
    fields.tm_hour = local.wHour;
    fields.tm_min = local.wMinute;
    fields.tm_sec = local.wSecond;
    fields.tm_isdst = -1;
    return Instant(std::chrono::seconds(std::mktime(&fields)));
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
