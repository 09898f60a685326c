// task_runner.cpp: the runner's work: one run's actions, one after another, each recorded.
//
// Runs in the detached process that winemu-runner made (runner_spawn.hpp), single-threaded, with
// the records file holding the run's lock as descriptor 3 for its whole life. Every change of an
// action's record is one pwrite of its fixed-width outcome: started (with its pid, before the
// program runs), then ended (time and exit code) or not started (why).
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <optional>

#include <winemu/types.h>

#include "com/utf.hpp"
#include "launch/action_process.hpp"
#include "launch/live_runs.hpp"
#include "launch/run_order.hpp"
#include "launch/run_records.hpp"
#include "launch/task_launch.hpp"
#include "library/library_files.hpp"
#include "library/task_names.hpp"
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

// Records the action (appending its record, or taking over the caller's one) and runs it to its
// end; false when the run must stop: a record that cannot be written, or the action terminated.
bool run_action(KeptRecord& kept, const PreparedLaunch& launch, const Deadline& deadline) {
    RunRecord& record = kept.record;
    if (record.error) return true;  // it cannot start, and its record says why
    auto child = GatedAction::fork(launch);
    if (!child) {
        record.state = ActionState::not_started;
        record.error = error_text(errno);
        return kept.update();
    }
    record.pid = child->pid();
    record.state = ActionState::running;
    if (!kept.update()) {
        kill(child->pid(), SIGKILL);  // never runs: the gate stays shut
        wait_for_action(child->pid(), std::nullopt);
        return false;
    }
    if (const int error = child->open_gate(); error != 0) {
        record.pid.reset();
        record.state = ActionState::not_started;
        record.error = error_text(error);
        return kept.update();
    }
    const ActionEnd end = wait_for_action(record.pid.value(), deadline);
    record.end_time = seconds_since_epoch();
    record.exit_code = end.exit_code;
    record.state = end.terminated ? ActionState::terminated : ActionState::ended;
    record.last = record.last || end.terminated;  // a terminated run goes no further
    return kept.update() && !end.terminated;
}

// The caller's record of the first action, completed as this runner takes the run over.
KeptRecord first_record(const RunOrder& order, long group) {
    PreparedLaunch launch = prepare_launch(order.actions.front());
    launch.record.run = order.run;
    launch.record.runner = group;
    launch.record.last = order.actions.size() == 1;
    KeptRecord kept{launch.record, {}};
    kept.outcome.file = UniqueFd(dup(inherited_records));
    kept.outcome.offset = order.first_record;
    return kept;
}

// Waits, the first record saying so, until the task's runs recorded before this one have ended;
// false when the run was stopped meanwhile.
bool wait_for_turn(const RunOrder& order, const PathElements& path, long group) {
    std::optional<KeptRecord> first;
    if (!order.first_started) {
        first = first_record(order, group);
        first->record.state = ActionState::queued;
        first->update();
    }
    while (!live_runs(order.library, &path, order.run).empty()) {
        if (!stop_requested_within(std::chrono::milliseconds(20))) continue;
        if (first) {
            first->record.state = ActionState::terminated;
            first->record.last = true;
            first->update();
        }
        return false;
    }
    return true;
}

int run(const RunOrder& order) {
    const auto name = utf16_from_utf8(order.task);
    if (!name) return 2;
    auto path = resolve_task_path(*name, {});
    if (!path.ok()) return 2;
    const long group = getpgrp();
    if (order.queued && !wait_for_turn(order, path.value(), group)) return 0;
    const Deadline deadline = order.time_limit > 0
                                  ? Deadline(std::chrono::steady_clock::now() +
                                             std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                 std::chrono::duration<double>(order.time_limit)))
                                  : std::nullopt;
    for (std::size_t i = 0; i < order.actions.size(); ++i) {
        if (i == 0 && order.first_started) continue;
        PreparedLaunch launch = prepare_launch(order.actions[i]);
        launch.record.run = order.run;
        launch.record.runner = group;
        launch.record.last = i + 1 == order.actions.size();
        KeptRecord kept{launch.record, {}};
        const std::string line = run_record_line(launch.record);
        if (i == 0) {
            // The caller wrote this record before the runner existed: the same line, completed.
            kept = first_record(order, group);
            if (!kept.update()) return 1;
        } else {
            auto appended = append_task_runs(order.library, path.value(), line);
            if (!appended.ok()) return 1;  // the task was deleted, or the disk is full: nothing more starts
            kept.outcome = std::move(appended.value());
            kept.outcome.offset += static_cast<off_t>(outcome_offset(line));
        }
        if (!run_action(kept, launch, deadline)) return 1;
    }
    return 0;
}

}  // namespace
}  // namespace winemu

extern "C" WINEMU_API int winemu_runner_main(int argc, char** argv) {
    winemu::block_runner_signals();
    try {
        const auto order = winemu::run_order_from(argc, argv);
        return order ? winemu::run(*order) : 2;
    } catch (...) {
        return 1;  // out of memory: the run's lock goes with this process, and readers see it lost
    }
}
