// task_folder.hpp: a folder of the task library (ITaskFolder).
#pragma once

#include <string>

#include <winemu/taskschd.h>

#include "library/task_library.hpp"
#include "library/task_names.hpp"

namespace winemu {

// Opens the folder `folder` (its elements from the root) as a new ITaskFolder in *out, whose path
// reads without the leading '\' when `relative` (see folder_display); not-found codes as GetFolder's.
HRESULT open_task_folder(const FollowedLibrary& library, PathElements folder, bool relative, ITaskFolder** out);

// The service's GetFolder: the folder `path` names from the root (null, empty or "\": the root
// itself); a path without a leading '\' is relative, and the folder keeps it so.
HRESULT open_service_folder(const FollowedLibrary& library, std::u16string_view path, ITaskFolder** out);

}  // namespace winemu
