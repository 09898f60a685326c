// running_task.hpp: the running instance that RunEx hands back.
#pragma once

#include <optional>
#include <string>

#include <winemu/taskschd.h>

namespace winemu {

struct RunningInstance {
    std::u16string path;            // the task's path, "\Folder\Name"
    std::u16string current_action;  // the command of the first started action, if any
    std::optional<long> pid;        // the engine: the process group of the run's runner
};

// A new IRunningTask (one reference) in *out.
HRESULT create_running_task(RunningInstance instance, IRunningTask** out);

}  // namespace winemu
