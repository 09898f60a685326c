// local_time.hpp: the service's local times (SYSTEMTIME, DATE) and instants, in the process's time zone.
#pragma once

#include <span>

#include <winemu/types.h>

#include "library/trigger_run_times.hpp"

namespace winemu {

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
