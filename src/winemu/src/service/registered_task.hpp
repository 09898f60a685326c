// registered_task.hpp: a registered task as GetTask, GetTasks and RegisterTask hand it out.
#pragma once

#include <string>

#include <winemu/taskschd.h>

#include "library/task_names.hpp"
#include "library/task_store.hpp"

namespace winemu {

// What the task's definition said when the object was made.
struct DefinitionFacts {
    bool enabled = true;   // Settings/Enabled
    bool damaged = false;  // the definition failed the service's checks (listed all the same)
};

// A new IRegisteredTask (one reference) in *out, for the task at `path` of the library.
HRESULT create_registered_task(std::string library, PathElements path, StoredTask task, DefinitionFacts facts,
                               IRegisteredTask** out);

}  // namespace winemu
