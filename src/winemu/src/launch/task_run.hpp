// task_run.hpp: one run of a task, handed by RunEx to the service's runner.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <winemu/types.h>

#include "com/hresult_or.hpp"
#include "library/run_settings.hpp"
#include "library/task_paths.hpp"
#include "library/task_xml.hpp"

namespace winemu {

// A run handed to a runner.
struct StartedRun {
    long engine;           // the runner's process group
    std::string program;   // the first action's argv[0], UTF-8
    std::string instance;  // the run's instance GUID, as its records keep it
    std::uint32_t run;     // the run's number
    bool queued;           // waits for the task's earlier runs to end
};

// Records the first action's start (its record, or why it cannot start, written before anything
// else) and hands the run to a runner (runner_spawn.hpp), which takes the actions in order, each
// after the one before has ended, recording each one's start, end and exit code (task_runner.cpp);
// ExecutionTimeLimit bounds the run's actions; an action that cannot start ends the run there (its
// record is the run's last), as on Windows. Returns once the run is recorded as started,
// without waiting for any action. A runner that cannot be started is recorded as the first
// action's failure to start. With an instance of the task running, `settings.instances` decides:
// IgnoreNew starts nothing, StopExisting stops the running instances first, Queue has the new
// run wait for them, Parallel starts at once. Gives the started run (none when nothing was to
// run), or the HRESULT of the record that could not be written (then nothing started).
HResultOr<std::optional<StartedRun>> start_task_run(const std::string& library, const ResolvedTaskPath& path,
                                                    std::vector<ExecAction> actions, const RunSettings& settings,
                                                    std::string account);

}  // namespace winemu
