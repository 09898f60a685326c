// task_launch.cpp: starting a task's Exec actions as processes.
#include "task_launch.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <variant>

#include "command_line.hpp"

extern char** environ;

namespace winemu {
namespace {

double seconds_since_epoch() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since).count();
}

std::string error_text(int error) {
    char buffer[256];
    // GNU strerror_r: the text may or may not be written into the buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

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
int prepare(SpawnActions& actions, SpawnAttributes& attributes, const std::string& working_directory) {
    if (!actions.ok() || !attributes.ok()) return ENOMEM;
    int error = 0;
    if (!error) error = posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    if (!error) error = posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
    if (!error) error = posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
    // Nothing else of the caller's reaches the task, not even descriptors that the host process
    // (or a library in it) opened without O_CLOEXEC.
    if (!error) error = posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    if (!error && !working_directory.empty())
        error = posix_spawn_file_actions_addchdir_np(actions.get(), working_directory.c_str());
    // A task runs detached from the caller: its own session, default signal handling, no mask.
    sigset_t all_signals;
    sigset_t no_signals;
    sigfillset(&all_signals);
    sigemptyset(&no_signals);
    if (!error) error = posix_spawnattr_setsigdefault(attributes.get(), &all_signals);
    if (!error) error = posix_spawnattr_setsigmask(attributes.get(), &no_signals);
    if (!error)
        error = posix_spawnattr_setflags(attributes.get(),
                                         POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    return error;
}

// A path as this process sees it, for one that the child will resolve after moving to its
// working directory.
std::string as_seen_here(const std::string& path, const std::string& working_directory) {
    if (path.front() == '/' || working_directory.empty()) return path;
    return working_directory + "/" + path;
}

// The file that `command` runs, found as execvp would find it from the working directory the
// process will have (a name with a '/' is taken as a path; a bare name is looked up in PATH), or
// the errno why there is none. The path is the one to hand to the spawn, which resolves a relative
// one after the change of directory. Done here rather than left to the spawn, so that a program
// that cannot start is reported the same way wherever the spawn reports exec failures.
std::variant<std::string, int> find_program(const std::string& command, const std::string& working_directory) {
    if (command.empty()) return ENOENT;
    if (command.find('/') != std::string::npos) {
        if (access(as_seen_here(command, working_directory).c_str(), X_OK) != 0) return errno;
        return command;
    }
    const char* search = std::getenv("PATH");
    std::string_view directories = search ? search : "/usr/local/bin:/usr/bin:/bin";
    int error = ENOENT;
    while (true) {
        const std::size_t end = directories.find(':');
        std::string directory(directories.substr(0, end));
        if (directory.empty()) directory = ".";
        std::string path = directory + "/" + command;
        if (access(as_seen_here(path, working_directory).c_str(), X_OK) == 0) return path;
        if (errno == EACCES) error = EACCES;  // found but not runnable: say so, as execvp does
        if (end == std::string_view::npos) return error;
        directories.remove_prefix(end + 1);
    }
}

void reap_in_background(pid_t pid) {
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to be had: the child stays a zombie until this process ends.
    }
}

RunRecord launch(const ExecAction& action) {
    RunRecord record;
    record.time = seconds_since_epoch();
    CommandText command = split_command(expand_environment(action.command));
    std::string arguments = expand_environment(action.arguments);
    if (!command.arguments.empty()) arguments = command.arguments + " " + arguments;
    record.argv.push_back(std::move(command.program));
    for (auto& argument : split_arguments(arguments)) record.argv.push_back(std::move(argument));

    const std::string working_directory = expand_environment(action.working_directory);
    if (!working_directory.empty()) {
        struct stat status {};
        const int error = stat(working_directory.c_str(), &status) != 0 ? errno : S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
        if (error != 0) {
            record.error = error_text(error);
            return record;
        }
    }
    const auto program = find_program(record.argv.front(), working_directory);
    if (const int* error = std::get_if<int>(&program)) {
        record.error = error_text(*error);
        return record;
    }
    SpawnActions actions;
    SpawnAttributes attributes;
    if (const int error = prepare(actions, attributes, working_directory); error != 0) {
        record.error = error_text(error);
        return record;
    }
    std::vector<char*> argv;
    for (auto& argument : record.argv) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error =
        posix_spawn(&pid, std::get<std::string>(program).c_str(), actions.get(), attributes.get(), argv.data(), environ);
    if (error != 0) {
        record.error = error_text(error);
        return record;
    }
    record.pid = pid;
    reap_in_background(pid);
    return record;
}

}  // namespace

RunRecord launch_exec(const ExecAction& action) noexcept {
    // Everything that allocates comes before the spawn; past it only the pid is set and the
    // record moved out, neither of which throws.
    try {
        return launch(action);
    } catch (...) {
        RunRecord failed;
        failed.time = seconds_since_epoch();
        try {
            failed.argv.push_back(action.command);
            failed.error = "out of memory";
        } catch (...) {
            failed.error.emplace();  // no memory even for the reason: an empty one
        }
        return failed;
    }
}

}  // namespace winemu
