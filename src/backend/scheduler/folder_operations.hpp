// folder_operations.hpp: making, deleting and listing the folders of the task library. Free of
// platform names: the Python module includes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// CreateFolder on the root folder: the folder and every missing folder on its path, with the
// descriptor `security` gives as SDDL (none: the service's default).
Result<void, SchedulerError> create_folder(SchedulerConnection& connection, std::string_view path,
                                           std::optional<std::string_view> security);

// DeleteFolder on the root folder: only an empty folder goes.
Result<void, SchedulerError> delete_folder(SchedulerConnection& connection, std::string_view path);

// The paths from the root ("\Ops\Nightly") of the folder's subfolders in the service's order
// (GetFolders), each followed by its own subfolders' when recursive.
Result<std::vector<std::string>, SchedulerError> list_folders(SchedulerConnection& connection, std::string_view path,
                                                              bool recursive);

}  // namespace morvane::scheduler
