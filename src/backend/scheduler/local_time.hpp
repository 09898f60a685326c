// local_time.hpp: local time as the service reads and writes it: LocalTime, a moment as calendar
// fields, its calendar arithmetic and the conversion from an OLE automation date; and the UTC
// offset of local time at an instant, from the C library's time zone (TZ honoured, as Python's own
// time functions see it), which maps those fields to instants and back. Free of platform names:
// the Python module includes it.
#pragma once

#include <optional>
#include <string>
#include <vector>

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


// Instants cross from the module to the client and back as microseconds since 1970-01-01 00:00 UTC.
constexpr long long microseconds_per_second = 1'000'000;

// One instant and how local time shows it.
struct LocalInstant {
    long long utc_seconds;  // since 1970-01-01 00:00 UTC
    int offset_seconds;  // local time minus UTC at that instant
    LocalTime wall;  // the local fields at that instant
};

// The UTC offset in force at an instant, and the zone's abbreviation when the C library tells it
// (empty otherwise). An instant the C library cannot convert counts as UTC.
int utc_offset_at(long long utc_seconds, std::string* abbreviation = nullptr) noexcept;

// The offsets of local time over the instants one call converts. Asking the C library costs more
// than making a datetime, and a call may convert thousands of times an hour apart, so what it
// learnt is kept as spans of instants with one offset. A span grows by six hours at a time; this
// relies on no zone changing its offset twice within six hours, as none does.
class LocalOffsets {
public:
    int at(long long utc_seconds);

    // The instant that a local time names, as Python names it for fold=0: a time that occurs
    // twice (clocks set back) is its first occurrence; a time skipped (clocks set forward) is read
    // with the offset after the change, so its wall fields are those before it (02:30 on the
    // morning Berlin's clocks go from 02:00 to 03:00 is 01:30+01:00).
    LocalInstant instant_of(const LocalTime& time);

    // Every instant that a local time names, earliest first: two for a time that occurs twice,
    // one otherwise. A time skipped by the clocks is read at the same wall-clock distance past
    // the change (02:30 on the morning Berlin's clocks go from 02:00 to 03:00 is 03:30+02:00), as
    // the service reads its own local times.
    struct Readings {
        long long first;  // microseconds since 1970-01-01 00:00 UTC
        long long second;  // equal to first for a time that occurs once
    };
    Readings readings_of(const LocalTime& time);

    // The local fields of an instant given in microseconds.
    LocalTime wall_of(long long utc_microseconds);

private:
    struct Span {
        long long first;
        long long last;
        int offset;
    };
    void keep(Span span);

    std::vector<Span> spans_;
};

}  // namespace morvane::scheduler
