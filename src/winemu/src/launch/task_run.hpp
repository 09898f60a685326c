// task_run.hpp: one run of a task: its actions started one after another, each recorded first.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <winemu/types.h>

#include "com/hresult_or.hpp"
#include "library/task_names.hpp"
#include "library/task_xml.hpp"

namespace winemu {

// The first process a run started.
struct FirstStart {
    long pid;
    std::string program;  // argv[0], UTF-8
};

// Starts the run: actions are taken in order, and each one's start record is written before its
// process starts (completed with the pid or the launch error right after). An action that cannot
// start is recorded and the next one taken at once; once a process has started, the actions after
// it wait for it to end, and the reaper's thread starts them (as Windows runs a task's actions one
// after another), without the caller waiting. The run stops where a record cannot be written:
// nothing starts unrecorded. Gives the first process started (none when no action could start),
// or the HRESULT of the record that could not be written before anything started.
HResultOr<std::optional<FirstStart>> start_task_run(std::string library, PathElements path,
                                                    std::vector<ExecAction> actions);

}  // namespace winemu
