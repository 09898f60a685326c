// trigger_run_times.hpp: when the triggers of a definition start its task.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>
#include <vector>

namespace winemu {

using Instant = std::chrono::sys_seconds;

struct TriggerRunTimes {
    std::vector<Instant> times;  // ascending, each instant once
    // False when no trigger of the definition, enabled or not, starts the task at times of the
    // calendar (only boot, logon, idle, event or registration triggers, or none at all).
    bool has_time_triggers = false;
};

// The instants within [start, end] at which the calendar and time triggers of a definition
// that passed the service's checks (UTF-8) start the task, the first max_count of them (0: all).
// Times in the definition without an offset are local time (the process's time zone).
TriggerRunTimes trigger_run_times(std::string_view definition, Instant start, Instant end, std::size_t max_count);

}  // namespace winemu
