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

namespace {

SYSTEMTIME fields_of(LocalSeconds local) noexcept {
    using namespace std::chrono;
    const local_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss clock{local - day};
    return SYSTEMTIME{
        .wYear = static_cast<WORD>(static_cast<int>(date.year())),
        .wMonth = static_cast<WORD>(static_cast<unsigned>(date.month())),
        .wDayOfWeek = static_cast<WORD>(weekday(day).c_encoding()),
        .wDay = static_cast<WORD>(static_cast<unsigned>(date.day())),
        .wHour = static_cast<WORD>(clock.hours().count()),
        .wMinute = static_cast<WORD>(clock.minutes().count()),
        .wSecond = static_cast<WORD>(clock.seconds().count()),
        .wMilliseconds = 0,
    };
}

}  // namespace

SYSTEMTIME local_from_instant(Instant instant) noexcept {
    LocalClock zone;
    return fields_of(zone.local_from_instant(instant));
}

void local_from_instants(std::span<const Instant> instants, SYSTEMTIME* local) noexcept {
    LocalClock zone;
    for (const Instant instant : instants) *local++ = fields_of(zone.local_from_instant(instant));
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
