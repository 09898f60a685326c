// task_state.hpp: the state the service keeps of a task: its last run, last result, running instances.
#pragma once

/* Derived from the task's records (one per action of each run, run_records.hpp) and the runs'
 * locks, so that there is one store to keep consistent: IRegisteredTask's LastRunTime,
 * LastTaskResult and State and IRegisteredTask::GetInstances read it from here, and
 * IRunningTask::Stop ends an instance by its runner (live_runs.hpp). */

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <winemu/types.h>

#include "library/task_paths.hpp"
#include "library/unique_fd.hpp"

namespace winemu {

struct InstanceState {
    std::uint32_t run = 0;
    std::string instance;           // its instance GUID (IRunningTask's InstanceGuid)
    std::optional<long> runner;     // the runner's process group (IRunningTask's EnginePID)
    std::string action_json;        // the current action's program, as a JSON string
    std::optional<long> pid;        // its process, once started
    std::string state;              // "starting", "queued" or "running"
};

struct TaskRunState {
    std::optional<double> last_run_time;  // when the newest run was recorded as started
    HRESULT last_result = 0;              // see task_run_state
    std::vector<InstanceState> instances; // the live runs, oldest first
    bool damaged = false;                 // some record could not be read (it is left out)
};

// The task's state. last_result: SCHED_S_TASK_HAS_NOT_RUN before any run; SCHED_S_TASK_RUNNING
// while the newest run lives; after it, the exit code of its last action, SCHED_S_TASK_TERMINATED
// when it was stopped or timed out, ERROR_PROCESS_ABORTED's HRESULT when its runner died, the
// launch error (file not found, access denied, ERROR_DIRECTORY) of the action that could not start
// and so ended the run, or ERROR_FILE_CORRUPT's HRESULT (and `damaged`) when its exit code is none
// that a process can have.
TaskRunState task_run_state(const std::string& library, const ResolvedTaskPath& path);
// The same from the task's records file as open_task_runs or open_task_runs_in opened it (closed:
// the task never ran).
TaskRunState task_run_state(const UniqueFd& records);

}  // namespace winemu
