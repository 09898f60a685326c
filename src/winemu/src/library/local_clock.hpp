// local_clock.hpp: the process's time zone (TZ): its offsets from UTC, remembered between calls so
// that converting many local times costs a C library call per day of them, not one per time, and
// the service's local times (SYSTEMTIME, DATE) and instants read by them.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>

#include <winemu/types.h>

#include "library/trigger_run_times.hpp"

namespace winemu {

using LocalSeconds = std::chrono::local_seconds;

class LocalClock {
public:
    // The instant a local wall-clock time names. A time that a change to daylight-saving time skips
    // is taken as the same wall-clock distance past the change (02:30 on a day that jumps from 02:00
    // to 03:00 is 03:30); a time that occurs twice is its first occurrence. These are the readings
    // of Python's zoneinfo with fold=0 (PEP 495) and of the local times the service writes.
    Instant instant_from_local(LocalSeconds local);

    // The local wall-clock time of an instant.
    LocalSeconds local_from_instant(Instant instant);

private:
    // Instants [from, until) over which the zone keeps `offset`; `until` is a change of offset
    // when `closed`, else only as far as it was checked.
    struct Span {
        std::int64_t from = 0;
        std::int64_t until = 0;
        std::int32_t offset = 0;
        bool closed = false;
    };
    // The last change of offset found: instants before `at` have `before`, from `at` on `after`.
    struct Change {
        std::int64_t at = 0;
        std::int32_t before = 0;
        std::int32_t after = 0;
    };

    std::int32_t offset_at(std::int64_t instant);
    void extend(Span& span, std::int64_t instant);
    Change change_between(std::int64_t low, std::int64_t high, std::int32_t low_offset);

    Span spans_[2];
    int next_span_ = 0;
    Change change_{};
    bool has_change_ = false;
};

// The instant a local time names. A time that a change to daylight-saving time skips is taken
// as the same wall-clock distance past the change; a time that occurs twice, as its first occurrence.
Instant instant_from_local(const SYSTEMTIME& local) noexcept;

// The local calendar fields of an instant, day of week included, milliseconds 0.
SYSTEMTIME local_from_instant(Instant instant) noexcept;

// local_from_instant of each instant into `local` (as many), asking the C library about the zone
// a few times a day of them rather than once a time.
void local_from_instants(std::span<const Instant> instants, SYSTEMTIME* local) noexcept;

// An instant as an OLE automation date of local time (days since 1899-12-30 00:00).
DATE date_from_instant(Instant instant) noexcept;

}  // namespace winemu
