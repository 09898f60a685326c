// task_launch.cpp: starting a task's Exec actions as processes.
#include "launch/task_launch.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <variant>

#include "launch/command_line.hpp"

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

PreparedLaunch prepare(const ExecAction& action) {
    PreparedLaunch prepared;
    RunRecord& record = prepared.record;
    record.time = seconds_since_epoch();
    CommandText command = split_command(expand_environment(action.command));
    std::string arguments = expand_environment(action.arguments);
    if (!command.arguments.empty()) arguments = command.arguments + " " + arguments;
    record.argv.push_back(std::move(command.program));
    for (auto& argument : split_arguments(arguments)) record.argv.push_back(std::move(argument));

    prepared.working_directory = expand_environment(action.working_directory);
    if (!prepared.working_directory.empty()) {
        struct stat status {};
        const int error = stat(prepared.working_directory.c_str(), &status) != 0 ? errno
                          : S_ISDIR(status.st_mode)                            ? 0
                                                                               : ENOTDIR;
        if (error != 0) {
            record.error = error_text(error);
            return prepared;
        }
    }
    auto program = find_program(record.argv.front(), prepared.working_directory);
    if (const int* error = std::get_if<int>(&program)) {
        record.error = error_text(*error);
        return prepared;
    }
    prepared.program = std::move(std::get<std::string>(program));
    prepared.argv.reserve(record.argv.size() + 1);
    for (auto& argument : record.argv) prepared.argv.push_back(argument.data());
    prepared.argv.push_back(nullptr);
    return prepared;
}

}  // namespace

PreparedLaunch prepare_launch(const ExecAction& action) noexcept {
    try {
        return prepare(action);
    } catch (...) {
        PreparedLaunch failed;
        failed.record.time = seconds_since_epoch();
        try {
            failed.record.argv.push_back(action.command);
            failed.record.error = "out of memory";
        } catch (...) {
            failed.record.error.emplace();  // no memory even for the reason: an empty one
        }
        return failed;
    }
}

void start_launch(PreparedLaunch& prepared) noexcept {
    RunRecord& record = prepared.record;
    if (record.error || prepared.argv.empty()) return;
    SpawnActions actions;
    SpawnAttributes attributes;
    int error = prepare(actions, attributes, prepared.working_directory);
    pid_t pid = 0;
    if (error == 0)
        error = posix_spawn(&pid, prepared.program.c_str(), actions.get(), attributes.get(), prepared.argv.data(), environ);
    if (error == 0) {
        record.pid = pid;
        return;
    }
    try {
        record.error = error_text(error);
    } catch (...) {
        record.error.emplace();
    }
}

}  // namespace winemu
