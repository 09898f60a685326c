// task_run_times.hpp: when the triggers of a registered task start it. Free of platform names:
// the Python module includes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/result.hpp"
#include "scheduler/local_time.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// GetTask, then GetRunTimes between two local times: the times the task is scheduled to start,
// at most max_count of them (nothing: all), in the service's order. A success code other than
// S_OK (S_FALSE: more runs than asked for; a task without time triggers) is a success.
Result<std::vector<LocalTime>, SchedulerError> run_times(std::string_view task_name, const LocalTime& start,
                                                        const LocalTime& end,
                                                        std::optional<std::uint32_t> max_count);
Result<std::vector<LocalTime>, SchedulerError> run_times(SchedulerConnection& connection, std::string_view task_name,
                                                        const LocalTime& start, const LocalTime& end,
                                                        std::optional<std::uint32_t> max_count);

}  // namespace morvane::scheduler
