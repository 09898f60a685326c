// task_control.hpp: enabling, disabling and stopping a registered task. Free of platform names:
// the Python module includes it.
#pragma once

#include <string_view>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// GetTask, then put_Enabled with VARIANT_TRUE or VARIANT_FALSE.
Result<void, SchedulerError> set_task_enabled(SchedulerConnection& connection, std::string_view task_name,
                                              bool enabled);

// GetTask, then Stop(0): every running instance of the task is stopped.
Result<void, SchedulerError> stop_task(SchedulerConnection& connection, std::string_view task_name);

}  // namespace morvane::scheduler
