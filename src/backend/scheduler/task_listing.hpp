// task_listing.hpp: the tasks of a folder, and of its subfolders. Free of platform names: the
// Python module includes it.
#pragma once

#include <string_view>
#include <vector>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"
#include "scheduler/task_record.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

struct ListingScope {
    bool recursive = false;  // the subfolders' tasks too, each folder's after its own tasks
    bool hidden = false;  // tasks marked hidden too (TASK_ENUM_HIDDEN)
};

// The folder's tasks in the service's order (GetTasks), with the tasks of its subfolders after
// them, depth first (GetFolders) when asked. A task whose state cannot be read is listed all the
// same (see read_listed_task_record); any other failure is the error of the whole listing.
Result<std::vector<TaskRecord>, SchedulerError> list_tasks(SchedulerConnection& connection, std::string_view folder,
                                                          ListingScope scope);

}  // namespace morvane::scheduler
