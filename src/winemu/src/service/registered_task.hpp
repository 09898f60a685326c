// registered_task.hpp: a registered task as GetTask and RegisterTask hand it out.
#pragma once

#include <string>

#include <winemu/taskschd.h>

#include "library/task_names.hpp"
#include "library/task_store.hpp"

namespace winemu {

// A new IRegisteredTask (one reference) in *out, for the task at `path` of the library, whose
// definition (already checked) says whether it is enabled.
HRESULT create_registered_task(std::string library, PathElements path, StoredTask task, bool enabled,
                               IRegisteredTask** out);

}  // namespace winemu
