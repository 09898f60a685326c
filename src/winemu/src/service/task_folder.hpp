// task_folder.hpp: a folder of the task library (ITaskFolder).
#pragma once

#include <string>

#include <winemu/taskschd.h>

#include "library/task_library.hpp"
#include "library/task_names.hpp"

namespace winemu {

// Opens the folder that `path` names, relative to the folder `base` (a leading '\' starts at the
// root; a null or empty path is `base` itself), as a new ITaskFolder in *out.
HRESULT open_task_folder(const FollowedLibrary& library, const PathElements& base, std::u16string_view path,
                         ITaskFolder** out);

}  // namespace winemu
