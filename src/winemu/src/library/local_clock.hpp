// local_clock.hpp: the process's time zone (TZ) as offsets from UTC, remembered between calls so
// that converting many local times costs a C library call per day of them, not one per time.
#pragma once

#include <chrono>
#include <cstdint>

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

}  // namespace winemu
