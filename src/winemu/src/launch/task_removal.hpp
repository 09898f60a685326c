// task_removal.hpp: deleting a task ends its runs with it.
#pragma once

#include <string>

#include <winemu/types.h>

#include "library/task_paths.hpp"

namespace winemu {

// Deletes the task (or the empty folder of that path) as remove_task does, then stops the runs
// the deleted task still had, queued ones included: none of them starts another action, writes
// into a task registered later under the name, or runs on unseen by it. Runners that do not end
// within a grace period are killed with their actions. The deletion's result.
HRESULT remove_task_ending_runs(const std::string& library, const ResolvedTaskPath& path);

}  // namespace winemu
