// task_store.hpp: the task library's files: reading, writing atomically, deleting.
#pragma once

#include <string>

#include "hresult_or.hpp"
#include "task_names.hpp"

namespace winemu {

// One task as the library keeps it.
struct StoredTask {
    std::u16string path;  // "\Folder\Name" in the spelling it was registered with
    std::string xml;      // the definition, UTF-8
};

// S_OK when the folder exists; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when only its own
// directory is missing; HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) when a folder above it is.
HRESULT find_folder(const std::string& library, const PathElements& folder);

// The folder's path with the spelling each element was created with (given spelling if unknown).
std::u16string folder_display_path(const std::string& library, const PathElements& folder);

// The task (path not empty): ERROR_FILE_NOT_FOUND when it is missing, ERROR_PATH_NOT_FOUND when a
// folder on its path is missing or the name is a folder's.
HResultOr<StoredTask> load_task(const std::string& library, const PathElements& path);

enum class WriteMode { create, update, create_or_update };

// Writes the definition (path not empty), creating missing folders. An existing definition is
// replaced atomically (a new file renamed over it) and keeps its spelling. E_ACCESSDENIED when a
// folder has the task's name; HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when a task has the name
// of a folder to create, or when `create` meets an existing task; ERROR_FILE_NOT_FOUND when
// `update` meets none.
HResultOr<StoredTask> store_task(const std::string& library, const PathElements& path, std::string xml,
                                 WriteMode mode);

// Deletes the task and its start records; the same not-found codes as load_task.
HRESULT remove_task(const std::string& library, const PathElements& path);

}  // namespace winemu
