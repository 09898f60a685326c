// task_launch.hpp: how to start a task's Exec action: its record, its program and arguments.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "launch/run_records.hpp"
#include "library/task_xml.hpp"

namespace winemu {

class ServiceEnvironment;

// How a record's error starts when the working directory does not exist or is no directory:
// Windows' text for ERROR_DIRECTORY, which the task's last result then is.
inline constexpr std::string_view invalid_directory_text = "The directory name is invalid";

// An action made ready to start: its record (time and argv, or why it cannot start) and what the
// spawn needs, every allocation done.
struct PreparedLaunch {
    RunRecord record;
    std::string program;            // the file to run, as found in PATH or given
    std::string working_directory;  // expanded; empty for the caller's
    std::vector<char*> argv;        // into record.argv, null-terminated (record.argv is not to change)
    std::shared_ptr<const ServiceEnvironment> environment;  // the program's, and what expanded the texts
};

// Works out how to start the action, without a shell: environment references expanded in
// command, arguments and working directory, the command read as CommandLineToArgvW reads a program
// name and the arguments split as it splits them, in the service's environment. A program that
// cannot be started is no failure: the record says why (also "out of memory" when that is why).
PreparedLaunch prepare_launch(const ExecAction& action) noexcept;

double seconds_since_epoch();
// strerror's text for the errno.
std::string error_text(int error);

}  // namespace winemu
