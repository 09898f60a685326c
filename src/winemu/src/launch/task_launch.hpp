// task_launch.hpp: starting a task's Exec actions as processes.
#pragma once

#include <string>
#include <vector>

#include "launch/run_records.hpp"
#include "library/task_xml.hpp"

namespace winemu {

// An action made ready to start: its record (time and argv, or why it cannot start) and what the
// spawn needs, every allocation done.
struct PreparedLaunch {
    RunRecord record;
    std::string program;            // the file to run, as found in PATH or given
    std::string working_directory;  // expanded; empty for the caller's
    std::vector<char*> argv;        // into record.argv, null-terminated (record.argv is not to change)
};

// Works out how to start the action, without a shell: environment references expanded in
// command, arguments and working directory, the command read as CommandLineToArgvW reads a program
// name and the arguments split as it splits them. A program that cannot be started is no
// failure: the record says why (also "out of memory" when that is why).
PreparedLaunch prepare_launch(const ExecAction& action) noexcept;

// Starts the prepared program without waiting: standard streams on /dev/null, no other
// descriptor of the caller, in a session of its own. Sets the record's pid, or its error. The
// caller hands the child to the reaper (child_reaper.hpp).
void start_launch(PreparedLaunch& prepared) noexcept;

}  // namespace winemu
