// task_properties.hpp: what the service tells of one registered task: its record and its
// definition. Free of platform names: the Python module includes it.
#pragma once

#include <string>
#include <string_view>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"
#include "scheduler/task_record.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// GetTask, then the task's properties, then its definition (get_Xml); a failing read is the
// error, under its call's label ("get_State", "get_LastRunTime", ..., "get_Xml").
Result<TaskDetails, SchedulerError> task_info(SchedulerConnection& connection, std::string_view task_name);

// The registered definition as the service returns it (get_Xml), as UTF-8.
Result<std::string, SchedulerError> task_xml(SchedulerConnection& connection, std::string_view task_name);

}  // namespace morvane::scheduler
