// task_launch.cpp: how to start a task's Exec action: its record, its program and arguments.
#include "launch/task_launch.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <variant>

#include "control/service_environment.hpp"
#include "launch/command_line.hpp"

namespace winemu {

double seconds_since_epoch() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since).count();
}

namespace {

// Whichever strerror_r the C library declares: the GNU one (the service's glibc) returns the
// text, which may or may not be in the buffer; the POSIX one (the runner's musl) fills the buffer.
[[maybe_unused]] const char* strerror_result(const char* text, const char*) { return text; }
[[maybe_unused]] const char* strerror_result(int failed, const char* buffer) { return failed == 0 ? buffer : "Unknown error"; }

}  // namespace

std::string error_text(int error) {
    char buffer[256];
    return strerror_result(strerror_r(error, buffer, sizeof buffer), buffer);
}

namespace {

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
std::variant<std::string, int> find_program(const std::string& command, const std::string& working_directory,
                                            const ServiceEnvironment& environment) {
    if (command.empty()) return ENOENT;
    if (command.find('/') != std::string::npos) {
        if (access(as_seen_here(command, working_directory).c_str(), X_OK) != 0) return errno;
        return command;
    }
    std::string_view directories = environment.value("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
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
    prepared.environment = service_environment();
    const ServiceEnvironment& environment = *prepared.environment;
    RunRecord& record = prepared.record;
    record.time = seconds_since_epoch();
    CommandText command = split_command(expand_environment(action.command, environment));
    std::string arguments = expand_environment(action.arguments, environment);
    if (!command.arguments.empty()) arguments = command.arguments + " " + arguments;
    record.argv.push_back(std::move(command.program));
    for (auto& argument : split_arguments(arguments)) record.argv.push_back(std::move(argument));

    prepared.working_directory = expand_environment(action.working_directory, environment);
    if (!prepared.working_directory.empty()) {
        struct stat status {};
        const int error = stat(prepared.working_directory.c_str(), &status) != 0 ? errno
                          : S_ISDIR(status.st_mode)                            ? 0
                                                                               : ENOTDIR;
        if (error == ENOENT || error == ENOTDIR) {
            // As Windows says of a working directory that is none: ERROR_DIRECTORY, naming it.
            record.error = std::string(invalid_directory_text) + ": " + prepared.working_directory;
            return prepared;
        }
        if (error != 0) {
            record.error = error_text(error);
            return prepared;
        }
    }
    auto program = find_program(record.argv.front(), prepared.working_directory, environment);
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
        PreparedLaunch prepared = prepare(action);
        if (prepared.record.error) prepared.record.state = ActionState::not_started;
        return prepared;
    } catch (...) {
        PreparedLaunch failed;
        failed.record.time = seconds_since_epoch();
        try {
            failed.record.argv.push_back(action.command);
            failed.record.error = "out of memory";
        } catch (...) {
            failed.record.error.emplace();  // no memory even for the reason: an empty one
        }
        failed.record.state = ActionState::not_started;
        return failed;
    }
}

}  // namespace winemu
