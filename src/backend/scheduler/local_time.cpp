// local_time.cpp: calendar arithmetic for the service's local times.
#include "scheduler/local_time.hpp"

#include <cmath>

namespace morvane::scheduler {
namespace {

constexpr double kMillisecondsPerDay = 86'400'000.0;
// days_from_civil(1899, 12, 30): day 0 of an OLE automation date.
constexpr long long kDateEpochDays = -25'569;
// 0100-01-01 and 9999-12-31 as OLE automation dates: the range Windows converts.
constexpr double kEarliestDate = -657'434.0;
constexpr double kLatestDate = 2'958'466.0;

// The inverse of days_from_civil (Howard Hinnant's civil_from_days).
LocalTime civil_from_days(long long days) noexcept {
    days += 719'468;
    const long long era = (days >= 0 ? days : days - 146'096) / 146'097;
    const long long day_of_era = days - era * 146'097;
    const long long year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
    const long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long long shifted_month = (5 * day_of_year + 2) / 153;
    LocalTime time;
    time.day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    time.month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    time.year = static_cast<int>(year_of_era + era * 400 + (time.month <= 2 ? 1 : 0));
    return time;
}

}  // namespace

long long days_from_civil(int year, int month, int day) noexcept {
    const long long y = month <= 2 ? year - 1 : year;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long year_of_era = y - era * 400;
    const long long day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146'097 + day_of_era - 719'468;
}

int day_of_week(int year, int month, int day) noexcept {
    const long long days = days_from_civil(year, month, day);  // 1970-01-01 was a Thursday
    return static_cast<int>(((days + 4) % 7 + 7) % 7);
}

long long seconds_from_local_time(const LocalTime& time) noexcept {
    return days_from_civil(time.year, time.month, time.day) * 86'400 + time.hour * 3600LL + time.minute * 60LL +
           time.second;
}

LocalTime local_time_from_seconds(long long seconds) noexcept {
    long long days = seconds / 86'400;
    long long second_of_day = seconds % 86'400;
    if (second_of_day < 0) {
        second_of_day += 86'400;
        days -= 1;
    }
    LocalTime time = civil_from_days(days);
    time.hour = static_cast<int>(second_of_day / 3600);
    time.minute = static_cast<int>(second_of_day / 60 % 60);
    time.second = static_cast<int>(second_of_day % 60);
    return time;
}

std::optional<LocalTime> local_time_from_date(double date) noexcept {
    if (date == 0.0 || !(date >= kEarliestDate && date < kLatestDate)) return std::nullopt;
    const double whole_days = std::trunc(date);
    const double time_of_day = std::fabs(date - whole_days);
    auto milliseconds = static_cast<long long>(std::llround(time_of_day * kMillisecondsPerDay));
    long long days = static_cast<long long>(whole_days) + kDateEpochDays;
    if (milliseconds >= 86'400'000) {  // rounded up to the next midnight
        milliseconds -= 86'400'000;
        days += 1;
    }
    LocalTime time = civil_from_days(days);
    time.hour = static_cast<int>(milliseconds / 3'600'000);
    time.minute = static_cast<int>(milliseconds / 60'000 % 60);
    time.second = static_cast<int>(milliseconds / 1000 % 60);
    time.millisecond = static_cast<int>(milliseconds % 1000);
    return time;
}

}  // namespace morvane::scheduler
