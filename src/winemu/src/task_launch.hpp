// task_launch.hpp: starting a task's Exec actions as processes.
#pragma once

#include "run_records.hpp"
#include "task_xml.hpp"

namespace winemu {

// Starts the action without a shell and without waiting: environment references expanded in
// command, arguments and working directory, the command read as CommandLineToArgvW reads a program
// name and the arguments split as it splits them, standard streams on /dev/null, no other
// descriptor of the caller, in a session of its own. A background thread reaps the child,
// so no zombie stays and the host's SIGCHLD handling is left alone. A program that cannot be
// started is no failure: the record says why. Never throws: a launch that runs out of memory
// before the process starts gives a record that says so.
RunRecord launch_exec(const ExecAction& action) noexcept;

}  // namespace winemu
