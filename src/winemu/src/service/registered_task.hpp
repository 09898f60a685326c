// registered_task.hpp: a registered task as GetTask, GetTasks and RegisterTask hand it out.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <winemu/taskschd.h>

#include "library/task_library.hpp"
#include "library/task_paths.hpp"
#include "library/task_store.hpp"
#include "library/trigger_rules.hpp"
#include "library/unique_fd.hpp"
#include "service/listing_cache.hpp"

namespace winemu {

// What the task's definition said when the object was made.
struct DefinitionFacts {
    bool enabled = true;   // Settings/Enabled
    bool damaged = false;  // the definition failed the service's checks (listed all the same)
    // A listed task keeps no definition text, only its digest: it reads the definition again
    // when asked for it (Xml, GetRunTimes, a next run time not in the listing cache).
    std::optional<DefinitionDigest> listed;
    TriggerRules triggers;  // when the triggers start the task; none kept for a listed task
};

// A folder's directory as a listing opened it, shared by the collection and every task listed from
// it: the tasks read their records from it instead of walking from the library at each call. The
// descriptor is closed once, when the last of them goes.
using SharedFolderDirectory = std::shared_ptr<const UniqueFd>;

// A new IRegisteredTask (one reference) in *out, for the task at `path` of the library; `folder`,
// when given, is the open directory of the task's folder.
HRESULT create_registered_task(FollowedLibrary library, ResolvedTaskPath path, StoredTask task, DefinitionFacts facts,
                               IRegisteredTask** out, SharedFolderDirectory folder = {});

}  // namespace winemu
