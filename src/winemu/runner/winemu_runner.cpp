// winemu_runner.cpp: the emulated service's runner: leaves its parent, then runs one run.
//
// Its first process only forks and exits: the caller of RunEx reaps it. What runs the actions is
// winemu's own code, linked in (no XML library, nothing loaded at run time), so the process that
// each run costs does little more than the action's own start.
#include <signal.h>
#include <unistd.h>

#include "launch/runner_main.hpp"

int main(int argc, char** argv) {
    // A session of its own, out of the caller's terminal and process group, made here rather than
    // by the spawn that the caller waits for; its number (this process's) is the run's engine.
    if (setsid() < 0) return 1;
    const pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid > 0) _exit(0);  // the caller reaps this one; the child is left to init
    // Started with every signal at its default (what the caller ignored, SIGPIPE or even SIGCHLD,
    // reaches neither the runner nor its actions) and blocked (runner_spawn.cpp): what reached the
    // caller's process group before the session was made stayed pending in the first process,
    // and ends with it.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    return winemu::runner_main(argc - 1, argv + 1);
}
