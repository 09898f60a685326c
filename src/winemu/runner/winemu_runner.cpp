// winemu_runner.cpp: the emulated service's runner: leaves its parent, then runs one run.
//
// Kept to the C library (no C++ runtime is linked): its first process only forks and exits, and
// the caller of RunEx waits for that. What runs the actions lives in libwinemu, whose path comes
// first among the arguments: loaded here, in the detached process only.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid > 0) _exit(0);  // the caller reaps this one; the child is left to init
    // What the caller ignored (SIGPIPE, even SIGCHLD) must not reach the runner or its actions.
    struct sigaction by_default {};
    by_default.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        if (signal != SIGKILL && signal != SIGSTOP) sigaction(signal, &by_default, nullptr);
    void* library = dlopen(argv[1], RTLD_LAZY | RTLD_LOCAL);
    if (!library) return 3;
    using Entry = int (*)(int, char**);
    const auto entry = reinterpret_cast<Entry>(dlsym(library, "winemu_runner_main"));
    if (!entry) return 3;
    return entry(argc - 2, argv + 2);
}
