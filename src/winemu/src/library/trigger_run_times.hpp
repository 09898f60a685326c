// trigger_run_times.hpp: when the triggers of a definition start its task.
#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

#include "library/trigger_rules.hpp"

namespace winemu {

using Instant = std::chrono::sys_seconds;

struct TriggerRunTimes {
    std::vector<Instant> times;  // ascending, each instant once
    // False when no trigger of the definition, enabled or not, starts the task at times of the
    // calendar (only boot, logon, idle, event or registration triggers, or none at all).
    bool has_time_triggers = false;
};

// The instants within [start, end] at which the calendar and time triggers of a definition
// start the task, the first max_count of them (0: all). Times in the definition without an
// offset are local time (the process's time zone).
TriggerRunTimes trigger_run_times(const TriggerRules& triggers, Instant start, Instant end, std::size_t max_count);

}  // namespace winemu
