// running_instances.hpp: starting a task and following its running instances. Free of platform
// names: the Python module includes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"
#include "scheduler/task_record.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// What the service tells of one running instance (IRunningTask), texts in UTF-8.
struct InstanceRecord {
    std::string instance_guid;  // "{...}", as the service writes it
    std::string path;           // the task's, "\Folder\Name"
    std::string name;
    std::string current_action;
    std::uint32_t pid = 0;  // the engine's process (EnginePID); 0 when none
    TaskState state = TaskState::unknown;
};

// The most parameters RunEx takes ($(Arg0) to $(Arg31)).
inline constexpr std::size_t most_run_parameters = 32;

// GetTask, then RunEx with the parameters (none: VT_EMPTY; else an array of BSTRs), and the
// instance it hands out.
Result<InstanceRecord, SchedulerError> start_task(SchedulerConnection& connection, std::string_view task_name,
                                                  const std::optional<std::vector<std::string>>& parameters);

// The live instances of one task (GetTask, GetInstances), or of all (GetRunningTasks, with
// TASK_ENUM_HIDDEN when `hidden`), in the service's order.
Result<std::vector<InstanceRecord>, SchedulerError> running_tasks(SchedulerConnection& connection,
                                                                  std::optional<std::string_view> task_name,
                                                                  bool hidden);

// The task's instance of that GUID, found among its instances and refreshed; nothing once it ended.
Result<std::optional<InstanceRecord>, SchedulerError> running_task(SchedulerConnection& connection,
                                                                   std::string_view task_name,
                                                                   std::string_view instance_guid);

// Stops the task's instance of that GUID: true when it was running, false when it had ended.
Result<bool, SchedulerError> stop_running_task(SchedulerConnection& connection, std::string_view task_name,
                                               std::string_view instance_guid);

}  // namespace morvane::scheduler
