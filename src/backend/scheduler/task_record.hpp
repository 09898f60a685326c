// task_record.hpp: TaskRecord, what the service tells of one registered task. Free of platform
// names: the Python module includes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "scheduler/local_time.hpp"

namespace morvane::scheduler {

// The service's task states (TASK_STATE), numbered as the platform numbers them.
enum class TaskState : int { unknown = 0, disabled = 1, queued = 2, ready = 3, running = 4 };

struct TaskRecord {
    std::string path;  // "\Folder\Name", UTF-8
    std::string name;
    bool enabled = false;
    TaskState state = TaskState::unknown;
    std::optional<LocalTime> last_run_time;  // nothing: it never ran
    std::optional<LocalTime> next_run_time;  // nothing: no run is scheduled
    std::uint32_t last_task_result = 0;  // an HRESULT or an exit code, read unsigned
    std::int32_t number_of_missed_runs = 0;
};

// What task_info tells of one task: its record, and its registered definition (get_Xml, UTF-8),
// from which the account it runs as is read. A listing reads no definitions: one per task would
// cost a call and a parse each.
struct TaskDetails {
    TaskRecord record;
    std::string xml;
};

}  // namespace morvane::scheduler
