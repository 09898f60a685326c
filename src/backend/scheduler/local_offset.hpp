// local_offset.hpp: the UTC offset of local time, from the C library's time zone (TZ honoured,
// as Python's own time functions see it). Free of platform names: the Python module includes it.
#pragma once

#include <string>
#include <vector>

#include "scheduler/local_time.hpp"

namespace morvane::scheduler {

// Instants cross from the module to the client and back as microseconds since 1970-01-01 00:00 UTC.
constexpr long long kMicrosecondsPerSecond = 1'000'000;

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
