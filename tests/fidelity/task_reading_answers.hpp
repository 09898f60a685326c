// task_reading_answers.hpp: the fidelity operations that list tasks and read, change and stop one.
#pragma once

#include <optional>
#include <string>

#include "input_table.hpp"

namespace fidelity {

// The answer to a case whose operation is one of these service calls, made on a connection of
// its own; nothing for any other operation:
//   "GetTasks", "GetFolders"  the folder `name` listed with `flags`: the sorted paths, or the failure
//   "get_Item"                item `flags` (VT_I4) of the folder's GetTasks(0)
//   "properties"              GetTask, then State, Enabled, LastRunTime, LastTaskResult,
//                             NumberOfMissedRuns and NextRunTime, each as its code and value
//   "put_Enabled"             put_Enabled(flags != 0), then State
//   "Stop"                    Stop(flags)
//   "GetRunTimes"             over 2026 (local), at most `flags` times: the code and the count
std::optional<std::string> answer_task_reading(const Case& c);

}  // namespace fidelity
