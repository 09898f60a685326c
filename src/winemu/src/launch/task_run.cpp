// task_run.cpp: one run of a task: its actions started one after another, each recorded first.
#include "launch/task_run.hpp"

#include <memory>

#include "launch/child_reaper.hpp"
#include "launch/run_records.hpp"
#include "launch/task_launch.hpp"
#include "library/task_store.hpp"

namespace winemu {
namespace {

struct ActionRun {
    std::string library;
    PathElements path;
    std::vector<ExecAction> actions;
    std::size_t next = 0;
};

// What starting one action came to.
struct Started {
    HRESULT recorded = S_OK;  // why its record could not be written (then nothing started)
    std::optional<FirstStart> process;
};

void continue_run(const std::shared_ptr<ActionRun>& run) noexcept;

// Writes the launch's outcome into its record. Past the start nothing may throw: a record that
// cannot be completed keeps saying that the start was not confirmed.
void complete_record(AppendedText& record, std::size_t offset_in_line, const RunRecord& launched) noexcept {
    try {
        const std::string completed = run_record_outcome(launched);
        record.offset += static_cast<off_t>(offset_in_line);
        overwrite_appended(record, completed);
    } catch (...) {
    }
}

// Records and starts the action; a started child goes to the reaper, which continues the run
// when it ends.
Started start_action(const std::shared_ptr<ActionRun>& run, const ExecAction& action) noexcept {
    Started outcome;
    try {
        PreparedLaunch launch = prepare_launch(action);
        // What allocates comes before the process starts: the watch that will follow the child,
        // and the record's line.
        ChildWatchNode watch(1);
        watch.front().ended = [run] { continue_run(run); };
        const std::string line = run_record_line(launch.record);
        auto appended = append_task_runs(run->library, run->path, line);
        if (!appended.ok()) {
            outcome.recorded = appended.error();
            return outcome;
        }
        if (launch.record.error) return outcome;  // it cannot start, and its record says why
        std::string program = launch.record.argv.front();
        start_launch(launch);
        complete_record(appended.value(), outcome_offset(line), launch.record);
        if (!launch.record.pid) return outcome;
        watch.front().pid = static_cast<pid_t>(*launch.record.pid);
        reap_child(watch);
        outcome.process = FirstStart{*launch.record.pid, std::move(program)};
    } catch (...) {
        // Only an allocation before the start can throw: nothing started, no record written.
        outcome.recorded = E_OUTOFMEMORY;
    }
    return outcome;
}

// Starts actions from run->next on until a process starts (or none is left, or a record fails).
Started start_next(const std::shared_ptr<ActionRun>& run) noexcept {
    while (run->next < run->actions.size()) {
        Started started = start_action(run, run->actions[run->next++]);
        if (started.recorded != S_OK || started.process) return started;
    }
    return {};
}

// On the reaper's thread, once the previous action's process has been reaped.
void continue_run(const std::shared_ptr<ActionRun>& run) noexcept { start_next(run); }

}  // namespace

HResultOr<std::optional<FirstStart>> start_task_run(std::string library, PathElements path,
                                                    std::vector<ExecAction> actions) {
    using Result = HResultOr<std::optional<FirstStart>>;
    // No child may start that nothing would reap.
    if (!reaper_ready()) return Result::failure(E_OUTOFMEMORY);
    auto run = std::make_shared<ActionRun>(ActionRun{std::move(library), std::move(path), std::move(actions), 0});
    Started started = start_next(run);
    // A record that fails after an earlier action could not start still fails the call: nothing
    // of the run is running then.
    if (started.recorded != S_OK) return Result::failure(started.recorded);
    return std::optional<FirstStart>(std::move(started.process));
}

}  // namespace winemu
