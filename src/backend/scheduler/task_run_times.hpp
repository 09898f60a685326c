// task_run_times.hpp: when the triggers of a registered task start it. Free of platform names:
// the Python module includes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// A period of run times: instants in microseconds since 1970-01-01 00:00 UTC, both included.
struct RunTimesQuery {
    long long first = 0;
    long long last = 0;
    std::optional<std::uint32_t> max_count;  // nothing: all
};

// GetTask, then the times within the period at which the task's triggers start it, as strictly
// increasing instants (microseconds since 1970-01-01 00:00 UTC), at most max_count of them. A
// disabled task starts at none, as its NextRunTime says. GetRunTimes is asked about a local
// window a little wider than the period, as often as it answers that more times remain, and its
// local times are read back as instants (RunTimeReading).
Result<std::vector<long long>, SchedulerError> run_times(SchedulerConnection& connection, std::string_view task_name,
                                                        const RunTimesQuery& query);

}  // namespace morvane::scheduler
