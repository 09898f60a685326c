// local_time.hpp: the service's local times (SYSTEMTIME, DATE) and instants, in the process's time zone.
#pragma once

#include <winemu/types.h>

#include "library/trigger_run_times.hpp"

namespace winemu {

// The instant a local time names. A time that a change to daylight-saving time skips is taken
// as the same wall-clock distance past the change; a time that occurs twice, as its first occurrence.
Instant instant_from_local(const SYSTEMTIME& local) noexcept;

// The local calendar fields of an instant, day of week included, milliseconds 0.
SYSTEMTIME local_from_instant(Instant instant) noexcept;

// An instant as an OLE automation date of local time (days since 1899-12-30 00:00).
DATE date_from_instant(Instant instant) noexcept;

}  // namespace winemu
