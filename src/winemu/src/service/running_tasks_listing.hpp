// running_tasks_listing.hpp: the instances of every task of the library, as GetRunningTasks lists them.
#pragma once

#include <winemu/taskschd.h>

#include "library/task_library.hpp"

namespace winemu {

// A new IRunningTaskCollection (one reference) in *out with the live instances of every task of
// the library, folder by folder from the root, tasks by name, each task's instances oldest first;
// hidden tasks' instances only when `hidden`.
HRESULT list_running_tasks(const FollowedLibrary& library, bool hidden, IRunningTaskCollection** out);

}  // namespace winemu
