// run_times.hpp: IRegisteredTask's GetRunTimes and NextRunTime, from the trigger engine.
#pragma once

#include <optional>
#include <string>

#include <winemu/types.h>

#include "library/trigger_run_times.hpp"

namespace winemu {

/* GetRunTimes' contract, as MS-TSCH SchRpcScheduledRuntimes and the method's page state it,
 * with the rules they leave open chosen here:
 * - a null count or array: E_INVALIDARG; a null start or end: the beginning or the end of time;
 * - a SYSTEMTIME that names no time (month 13, February 30, hour 24) or an end before the start:
 *   E_INVALIDARG;
 * - *count on input is the most to return, 0 for all; on output, how many were returned; one call
 *   returns 1,048,576 times at most (an open interval of a trigger repeated every minute has
 *   millions), so "all" means all up to that many;
 * - S_OK when every run time of the interval was returned (none included), S_FALSE when there
 *   were more than *count;
 * - no enabled trigger at all: SCHED_S_TASK_NO_VALID_TRIGGERS; enabled triggers, but none with set
 *   times (boot, logon, idle, event, registration): SCHED_S_EVENT_TRIGGER; both with no times;
 * - the times are local, ascending, in an array from CoTaskMemAlloc (null when there are none),
 *   which the caller frees with CoTaskMemFree. */
HRESULT hand_out_run_times(const TriggerRules& triggers, const SYSTEMTIME* start, const SYSTEMTIME* end, DWORD* count,
                           SYSTEMTIME** run_times);

// The first run time after now, as a local DATE; 0 (the date of no time, as a task that never
// ran reads) when no time trigger starts the task any more.
DATE next_run_time(const TriggerRules& triggers);

// The first run time at or after `after` (next_run_time asks from the second after now); nothing
// when no time trigger starts the task any more.
std::optional<Instant> first_run_time(const TriggerRules& triggers, Instant after);

// A SYSTEMTIME as "2026-12-08T07:05:00", for the journal.
std::string system_time_text(const SYSTEMTIME* time);

}  // namespace winemu
