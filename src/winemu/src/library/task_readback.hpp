// task_readback.hpp: a task read back from the library, checked as strictly as a registration.
#pragma once

#include <string>

#include "com/hresult_or.hpp"
#include "library/task_names.hpp"
#include "library/task_store.hpp"
#include "library/task_xml.hpp"

namespace winemu {

struct CheckedTask {
    StoredTask stored;          // its path and definition as kept
    TaskDefinition definition;  // what the definition says (its xml left empty: stored has it)
};

// The task as load_task gives it, with its definition parsed once and put through every check
// that RegisterTask makes. A definition that fails them (truncated, edited by hand) was changed
// behind the service's back: SCHED_E_INVALID_TASK_HASH, as Windows answers for a task file that
// no longer matches what was registered.
HResultOr<CheckedTask> load_checked_task(const std::string& library, const ResolvedTaskPath& path);

}  // namespace winemu
