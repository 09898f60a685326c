// local_time.hpp: LocalTime, a moment as the service's calendar fields of local time, and the
// conversions from the platform's two time forms (DATE, SYSTEMTIME fields). Free of platform
// names: the Python module includes it.
#pragma once

#include <optional>

namespace morvane::scheduler {

// Local wall-clock time with no offset: the service reads and writes times this way.
struct LocalTime {
    int year = 0;  // 1 to 9999
    int month = 0;  // 1 to 12
    int day = 0;  // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

// An OLE automation date (days since 1899-12-30 00:00, the fraction the time of day; before that
// day the fraction still counts forward from midnight), rounded to the millisecond. 0, the
// platform's "never", and values outside the years 100 to 9999 give nothing.
std::optional<LocalTime> local_time_from_date(double date) noexcept;

// The day of the week of a calendar date of the proleptic Gregorian calendar, 0 for Sunday.
int day_of_week(int year, int month, int day) noexcept;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (negative before it).
long long days_from_civil(int year, int month, int day) noexcept;

// Seconds from 1970-01-01 00:00 to the time's fields, counted as if no offset applied (its
// milliseconds left out), and back.
long long seconds_from_local_time(const LocalTime& time) noexcept;
LocalTime local_time_from_seconds(long long seconds) noexcept;

}  // namespace morvane::scheduler
