// action_process.cpp: one action's process, as the runner starts it and waits for its end.
#include "launch/action_process.hpp"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "control/service_environment.hpp"

namespace winemu {
namespace {

sigset_t runner_signals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    return signals;
}

[[noreturn]] void fail_child(int report, int error) {
    [[maybe_unused]] const ssize_t ignored = write(report, &error, sizeof error);
    _exit(127);
}

[[noreturn]] void run_child(const PreparedLaunch& prepared, pid_t runner, int gate, int report) {
    // An action does not outlive its runner: a runner killed leaves no process of its run behind
    // (its records read as lost, which must be true of the process too).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != runner) _exit(127);
    // A group of its own: a stop signalled to the runner's group reaches the runner alone, which
    // ends the action and records how.
    setpgid(0, 0);
    // A stop signalled to the runner's group before the line above reached this process too, and
    // waits here, blocked, as it waits in the runner, which answers it with SIGKILL. Discard this
    // copy (ignoring a pending signal drops it) so the action ends one way only, by the runner.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::signal(signal, SIG_IGN);
        ::signal(signal, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    char opened = 0;
    ssize_t got;
    do {
        got = read(gate, &opened, 1);
    } while (got < 0 && errno == EINTR);
    if (got != 1) _exit(127);  // the runner died before recording this process: do not run
    if (!prepared.working_directory.empty() && chdir(prepared.working_directory.c_str()) != 0) fail_child(report, errno);
    // Nothing of the runner's reaches the program but its standard streams; `report` closes at
    // exec like every other one.
    if (syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != report) fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    execve(prepared.program.c_str(), prepared.argv.data(), prepared.environment->block());
    fail_child(report, errno);
}

}  // namespace

std::optional<GatedAction> GatedAction::fork(const PreparedLaunch& prepared) noexcept {
    int gate[2];
    int report[2];
    if (pipe2(gate, O_CLOEXEC) != 0) return std::nullopt;
    UniqueFd gate_read(gate[0]), gate_write(gate[1]);
    if (pipe2(report, O_CLOEXEC) != 0) return std::nullopt;
    UniqueFd report_read(report[0]), report_write(report[1]);
    const pid_t runner = getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) run_child(prepared, runner, gate_read.get(), report_write.get());
    setpgid(pid, pid);  // the child does the same: whichever runs first closes the window
    return GatedAction(pid, std::move(gate_write), std::move(report_read));
}

int GatedAction::open_gate() noexcept {
    const char open = 1;
    [[maybe_unused]] const ssize_t ignored = write(gate_.get(), &open, 1);
    gate_.reset();
    int error = 0;
    ssize_t got;
    do {
        got = read(exec_error_.get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof error)) return 0;  // closed by the exec: it runs
    int status;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    return error;
}

void block_runner_signals() noexcept {
    const sigset_t signals = runner_signals();
    sigprocmask(SIG_BLOCK, &signals, nullptr);
}

bool stop_requested_within(std::chrono::milliseconds wait) noexcept {
    const sigset_t signals = runner_signals();
    const timespec timeout{0, static_cast<long>(std::chrono::nanoseconds(wait).count())};
    const int signal = sigtimedwait(&signals, nullptr, &timeout);
    return signal == SIGTERM || signal == SIGINT || signal == SIGHUP;
}

ActionEnd wait_for_action(pid_t pid, std::optional<std::chrono::steady_clock::time_point> deadline) noexcept {
    const sigset_t signals = runner_signals();
    ActionEnd end;
    while (true) {
        int status = 0;
        const pid_t reaped = waitpid(pid, &status, WNOHANG);
        if (reaped == pid) {
            end.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            return end;
        }
        if (reaped < 0 && errno != EINTR) return end;  // not ours to wait for: nothing to learn
        timespec wait{1, 0};  // SIGCHLD may have come before the waitpid: look again now and then
        if (deadline) {
            const auto left = *deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                end.terminated = true;
                kill(pid, SIGKILL);
                deadline.reset();
                continue;
            }
            if (left < std::chrono::seconds(1))
                wait = {0, static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left).count())};
        }
        const int signal = sigtimedwait(&signals, nullptr, &wait);
        if (signal == SIGTERM || signal == SIGINT || signal == SIGHUP) {
            end.terminated = true;
            kill(pid, SIGKILL);
        }
    }
}

}  // namespace winemu
