// local_offset.hpp: the UTC offset of local time, from the C library's time zone (TZ honoured,
// as Python's own time functions see it).
#pragma once

#include <string>

#include "scheduler/local_time.hpp"

namespace morvane::module {

// One instant and how local time shows it.
struct LocalInstant {
    long long utc_seconds;  // since 1970-01-01 00:00 UTC
    int offset_seconds;  // local time minus UTC at that instant
    scheduler::LocalTime wall;  // the local fields at that instant
};

// The UTC offset in force at an instant, and the zone's abbreviation when the C library tells it
// (empty otherwise). An instant the C library cannot convert counts as UTC.
int utc_offset_at(long long utc_seconds, std::string* abbreviation = nullptr) noexcept;

// The instant that a local time names, as Python names it for fold=0: a time that occurs twice
// (clocks set back) is its first occurrence; a time skipped (clocks set forward) is read with the
// offset before the change, so its wall fields are those after it.
LocalInstant instant_of_local_time(const scheduler::LocalTime& time) noexcept;

}  // namespace morvane::module
