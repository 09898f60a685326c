// runner_spawn.cpp: starting the service's runner for one run, detached from the caller.
#include "launch/runner_spawn.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>

#include "control/service_environment.hpp"

namespace winemu {
namespace {

// Owns one posix_spawn object (file actions or attributes) from its init to its destroy.
template <typename Object, int (*initialise)(Object*), int (*destroy)(Object*)>
class SpawnObject {
public:
    SpawnObject() noexcept { ok_ = initialise(&object_) == 0; }
    ~SpawnObject() {
        if (ok_) destroy(&object_);
    }
    SpawnObject(const SpawnObject&) = delete;
    SpawnObject& operator=(const SpawnObject&) = delete;
    bool ok() const noexcept { return ok_; }
    Object* get() noexcept { return &object_; }

private:
    Object object_{};
    bool ok_ = false;
};
using SpawnActions =
    SpawnObject<posix_spawn_file_actions_t, posix_spawn_file_actions_init, posix_spawn_file_actions_destroy>;
using SpawnAttributes = SpawnObject<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

// 0, or the errno of the first step that failed.
int prepare(SpawnActions& actions, SpawnAttributes& attributes, int records_fd) {
    if (!actions.ok() || !attributes.ok()) return ENOMEM;
    int error = 0;
    if (!error) error = posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    if (!error) error = posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
    if (!error) error = posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
    // dup2 clears close-on-exec on the copy: the one descriptor of the caller that the runner
    // keeps, holding the run's lock.
    if (!error) error = posix_spawn_file_actions_adddup2(actions.get(), records_fd, 3);
    // Nothing else reaches the runner, not even descriptors that the host process (or a library
    // in it) opened without O_CLOEXEC.
    if (!error) error = posix_spawn_file_actions_addclosefrom_np(actions.get(), 4);
    // The runner leaves the caller's session itself: making the session (with its scheduling
    // group) here would be waited for by the caller, and takes milliseconds on a busy machine.
    // Until then every signal is blocked, so that one sent to the caller's process group stays
    // pending in the first process, which exits with it (a fork's child inherits no pending
    // signal). Every signal is set back to default in the child, those the caller ignores
    // included: named all at once, the C library sets each without first asking what it was,
    // half the system calls that the caller waits for in the spawn.
    sigset_t all_signals;
    sigfillset(&all_signals);
    if (!error) error = posix_spawnattr_setsigmask(attributes.get(), &all_signals);
    if (!error) error = posix_spawnattr_setsigdefault(attributes.get(), &all_signals);
    if (!error) error = posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    return error;
}

// winemu-runner, beside this library wherever it was loaded from; found once.
const std::optional<std::string>& runner_program() {
    static const std::optional<std::string> program = []() -> std::optional<std::string> {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&spawn_runner), &info) == 0 || !info.dli_fname) return std::nullopt;
        char resolved[PATH_MAX];
        if (!realpath(info.dli_fname, resolved)) return std::nullopt;
        const std::string library = resolved;
        return library.substr(0, library.rfind('/') + 1) + "winemu-runner";
    }();
    return program;
}

void* reap(void* pid) {
    int status;
    while (waitpid(static_cast<pid_t>(reinterpret_cast<std::intptr_t>(pid)), &status, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
}

// The runner's first process ends as soon as it has forked; a thread that lives that long reaps
// it, so that RunEx costs its caller no more than the spawn. Without a thread, RunEx waits.
void reap_in_background(pid_t pid) noexcept {
    void* const argument = reinterpret_cast<void*>(static_cast<std::intptr_t>(pid));
    pthread_attr_t attributes;
    pthread_t thread;
    bool started = false;
    if (pthread_attr_init(&attributes) == 0) {
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        started = pthread_create(&thread, &attributes, &reap, argument) == 0;
        pthread_attr_destroy(&attributes);
    }
    if (!started) reap(argument);
}

}  // namespace

long spawn_runner(int records_fd, const std::vector<std::string>& arguments) noexcept {
    try {
        const auto& program = runner_program();
        if (!program) return -ENOENT;
        std::vector<char*> argv{const_cast<char*>(program->c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        // The service's environment, never the caller's live one (service_environment.hpp).
        const auto environment = service_environment();
        SpawnActions actions;
        SpawnAttributes attributes;
        int error = prepare(actions, attributes, records_fd);
        pid_t pid = 0;
        if (error == 0) error = posix_spawn(&pid, program->c_str(), actions.get(), attributes.get(), argv.data(),
                                          environment->block());
        if (error != 0) return -error;
        reap_in_background(pid);
        return pid;
    } catch (...) {
        return -ENOMEM;
    }
}

}  // namespace winemu
