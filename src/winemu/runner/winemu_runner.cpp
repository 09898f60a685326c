// winemu_runner.cpp: the emulated service's runner: leaves its parent, then runs one run.
//
// Its first process only forks and exits: the caller of RunEx reaps it. What runs the actions is
// winemu's own code, linked in (no XML library, nothing loaded at run time), so the process that
// each run costs does little more than the action's own start.
#include <signal.h>
#include <unistd.h>

#include "launch/runner_main.hpp"

int main(int argc, char** argv) {
    const pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid > 0) _exit(0);  // the caller reaps this one; the child is left to init
    // What the caller ignored (SIGPIPE, even SIGCHLD) must not reach the runner or its actions.
    struct sigaction by_default {};
    by_default.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        if (signal != SIGKILL && signal != SIGSTOP) sigaction(signal, &by_default, nullptr);
    return winemu::runner_main(argc - 1, argv + 1);
}
