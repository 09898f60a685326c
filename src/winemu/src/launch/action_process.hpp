// action_process.hpp: one action's process, as the runner starts it and waits for its end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>

#include "launch/task_launch.hpp"
#include "library/unique_fd.hpp"

namespace winemu {

/* The process is forked and held at a gate before exec: the runner writes its pid into the
 * record, then opens the gate. So no action runs that its record does not name, and a runner
 * killed in between leaves a child that sees the gate's end close and exits without running; one
 * killed later takes its action with it (PR_SET_PDEATHSIG).
 * The runner is single-threaded, so the child may do more than async-signal-safe calls would
 * allow; it keeps to system calls anyway. */
class GatedAction {
public:
    // Forks the prepared action (its record has no error): standard streams as the runner's
    // (/dev/null), no other descriptor, signals as by default. nullopt with errno set on failure.
    static std::optional<GatedAction> fork(const PreparedLaunch& prepared) noexcept;

    pid_t pid() const noexcept { return pid_; }
    // Lets the process run; 0 once it runs the program, or the errno of the exec that failed
    // (the child is reaped then).
    int open_gate() noexcept;

private:
    GatedAction(pid_t pid, UniqueFd gate, UniqueFd exec_error) noexcept
        : pid_(pid), gate_(std::move(gate)), exec_error_(std::move(exec_error)) {}
    pid_t pid_;
    UniqueFd gate_;        // the write end: closing it opens the gate
    UniqueFd exec_error_;  // the read end: EOF once exec succeeded, else the errno
};

struct ActionEnd {
    long exit_code = 0;  // exit status, or minus the signal that ended the process
    bool terminated = false;  // ended by the runner: stopped, or past the time limit
};

// The signals the runner waits for; to be blocked before the first fork.
void block_runner_signals() noexcept;

// Whether a stop request came within `wait` (while no action runs: a queued run).
bool stop_requested_within(std::chrono::milliseconds wait) noexcept;

// Waits for the action's process to end and reaps it. A stop request (SIGTERM, SIGINT, SIGHUP to
// the runner) or the deadline ends it first, with SIGKILL, as TerminateProcess would.
ActionEnd wait_for_action(pid_t pid, std::optional<std::chrono::steady_clock::time_point> deadline) noexcept;

}  // namespace winemu
