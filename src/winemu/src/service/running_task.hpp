// running_task.hpp: IRunningTask, one instance of a task as the service's run records show it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <winemu/taskschd.h>

#include "com/com_ptr.hpp"
#include "launch/task_state.hpp"
#include "library/task_library.hpp"
#include "library/task_paths.hpp"

namespace winemu {

// What an IRunningTask answers until it is refreshed.
struct RunningInstance {
    std::u16string path;            // the task's path, "\Folder\Name"
    std::u16string instance;        // the run's instance GUID, "{...}"
    std::optional<std::uint32_t> run;  // the run's number; none for a RunEx that started nothing
    std::u16string current_action;  // the program of the action it is at (or waits to start)
    std::optional<long> pid;        // the engine: the process group of the run's runner
    TASK_STATE state = TASK_STATE_UNKNOWN;
};

// The task's live instances, oldest first, as the records of `state` show them.
std::vector<RunningInstance> running_instances(const TaskRunState& state, const std::u16string& task_path);

// A new IRunningTask (one reference) in *out, for the instance of the task at `path`.
HRESULT create_running_task(FollowedLibrary library, ResolvedTaskPath path, RunningInstance instance,
                            IRunningTask** out);

// A new IRunningTaskCollection (one reference) in *out, holding the instances in the order given.
HRESULT create_running_task_collection(std::vector<ComPtr<IRunningTask>> instances, IRunningTaskCollection** out);

}  // namespace winemu
