// task_runner.cpp: the runner's work: one run's actions, one after another, each recorded.
//
// Runs in the detached process that winemu-runner made (runner_spawn.hpp), single-threaded, with
// the records file holding the run's lock as descriptor 3 for its whole life. Every change of an
// action's record is one pwrite of its fixed-width outcome: started (with its pid, before the
// program runs), then ended (time and exit code) or not started (why).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

#include <winemu/types.h>

#include "base/utf.hpp"
#include "launch/action_process.hpp"
#include "launch/live_runs.hpp"
#include "launch/run_order.hpp"
#include "launch/run_records.hpp"
#include "launch/runner_main.hpp"
#include "launch/task_launch.hpp"
#include "library/library_files.hpp"
#include "library/task_names.hpp"
#include "library/task_paths.hpp"
#include "library/task_store.hpp"

namespace winemu {
namespace {

constexpr int inherited_records = 3;

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// An action's record and where its outcome is to be rewritten.
struct KeptRecord {
    RunRecord record;
    AppendedText outcome;  // at the outcome field's offset

    bool update() noexcept {
        try {
            return overwrite_appended(outcome, run_record_outcome(record)) == 0;
        } catch (...) {
            return false;
        }
    }
};

// Runs the recorded action to its end; false when the run must stop: an action that could not
// start (which ends its run there, as on Windows: its record is the run's last), a record that
// cannot be written, or the action terminated.
bool run_action(KeptRecord& kept, const PreparedLaunch& launch, const Deadline& deadline) {
    RunRecord& record = kept.record;
    const auto not_started = [&](int error) {
        record.pid.reset();
        record.start_time.reset();
        record.state = ActionState::not_started;
        record.error = error_text(error);
        record.last = true;
        kept.update();
        return false;
    };
    if (record.error) return false;  // recorded so: it cannot start, and its record says why
    auto child = GatedAction::fork(launch);
    if (!child) return not_started(errno);
    record.pid = child->pid();
    record.start_time = seconds_since_epoch();
    record.state = ActionState::running;
    if (!kept.update()) {
        kill(child->pid(), SIGKILL);  // never runs: the gate stays shut
        wait_for_action(child->pid(), std::nullopt);
        return false;
    }
    if (const int error = child->open_gate(); error != 0) return not_started(error);
    const ActionEnd end = wait_for_action(record.pid.value(), deadline);
    record.end_time = seconds_since_epoch();
    record.exit_code = end.exit_code;
    record.state = end.terminated ? ActionState::terminated : ActionState::ended;
    record.last = record.last || end.terminated;  // a terminated run goes no further
    return kept.update() && !end.terminated;
}

// The caller's record of the first action, completed as this runner takes the run over.
KeptRecord first_record(const RunOrder& order, long group, PreparedLaunch& launch) {
    launch.record.run = order.run;
    launch.record.instance = order.instance;
    launch.record.account = order.account;
    launch.record.runner = group;
    launch.record.last = order.actions.size() == 1 || launch.record.error.has_value();
    KeptRecord kept{launch.record, {}};
    kept.outcome.file = UniqueFd(dup(inherited_records));
    kept.outcome.offset = order.first_record;
    return kept;
}

// Records the first action as ended without running: stopped while queued, or its task deleted.
int end_unstarted(const RunOrder& order, long group) {
    PreparedLaunch launch = prepare_launch(order.actions.front());
    KeptRecord first = first_record(order, group, launch);
    first.record.error.reset();
    first.record.state = ActionState::terminated;
    first.record.last = true;
    first.update();
    return 0;
}

// Waits, the first record saying so, until the runs recorded before this one in the records it
// holds have ended (whatever became of the task's name meanwhile); false when the run was stopped
// meanwhile.
bool wait_for_turn(const RunOrder& order, long group) {
    PreparedLaunch launch = prepare_launch(order.actions.front());
    KeptRecord first = first_record(order, group, launch);
    first.record.error.reset();
    first.record.state = ActionState::queued;
    first.record.last = order.actions.size() == 1;
    first.update();
    // The inherited descriptor only appends: the same file (deleted or not) opened to be read.
    const UniqueFd records(open(("/proc/self/fd/" + std::to_string(inherited_records)).c_str(), O_RDONLY | O_CLOEXEC));
    while (!live_runs_in(records, order.run, recent_records).empty())
        if (stop_requested_within(std::chrono::milliseconds(20))) return false;
    return true;
}

int run(const RunOrder& order) {
    const auto name = utf16_from_utf8(order.task);
    if (!name) return 2;
    auto resolved = resolve_task_path(*name, {});
    if (!resolved.ok()) return 2;
    const ResolvedTaskPath path(std::move(resolved.value()));
    const long group = getpgrp();
    if (order.queued && !wait_for_turn(order, group)) return end_unstarted(order, group);
    // A task deleted before its run starts takes the run with it, even one of the name registered
    // anew meanwhile: its records are not the ones this run holds.
    if (!holds_task_runs(order.library, path, inherited_records)) return end_unstarted(order, group);
    const Deadline deadline = order.time_limit > 0
                                  ? Deadline(std::chrono::steady_clock::now() +
                                             std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                 std::chrono::duration<double>(order.time_limit)))
                                  : std::nullopt;
    for (std::size_t i = 0; i < order.actions.size(); ++i) {
        PreparedLaunch launch = prepare_launch(order.actions[i]);
        KeptRecord kept{{}, {}};
        if (i == 0) {
            // The caller wrote this record before the runner existed: the same line, completed.
            kept = first_record(order, group, launch);
            if (!kept.update()) return 1;
        } else {
            launch.record.run = order.run;
            launch.record.instance = order.instance;
            launch.record.account = order.account;
            launch.record.runner = group;
            launch.record.last = i + 1 == order.actions.size() || launch.record.error.has_value();
            kept.record = launch.record;
            const std::string line = run_record_line(launch.record);
            // Only into the records this run holds: nothing more starts once its task was deleted
            // (or the disk is full).
            auto appended = append_task_runs(order.library, path, line, inherited_records);
            if (!appended.ok()) return 1;
            kept.outcome = std::move(appended.value());
            kept.outcome.offset += static_cast<off_t>(outcome_offset(line));
        }
        if (!run_action(kept, launch, deadline)) return 1;
    }
    return 0;
}

}  // namespace

int runner_main(int argc, char** argv) {
    block_runner_signals();
    try {
        const auto order = run_order_from(argc, argv);
        return order ? run(*order) : 2;
    } catch (...) {
        return 1;  // out of memory: the run's lock goes with this process, and readers see it lost
    }
}

}  // namespace winemu
