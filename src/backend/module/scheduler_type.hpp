// scheduler_type.hpp: the PyType_Spec of morvane.Scheduler, for the module's execution slot.
#pragma once

#include "module/python.hpp"

namespace morvane::module {

// A heap type made with PyType_FromModuleAndSpec: final, immutable, instances without GC (they
// hold no Python object).
PyType_Spec& scheduler_type_spec() noexcept;

}  // namespace morvane::module
