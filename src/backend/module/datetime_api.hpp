// datetime_api.hpp: the datetime module's C API (its capsule), fetched once per process.
#pragma once

#include "module/python.hpp"

#include <datetime.h>

namespace morvane::module {

// The table of the datetime module's types and constructors. The first use imports datetime and
// keeps its capsule for the rest of the process; a failure there is an InternalFailure. Call with
// the interpreter lock held.
const PyDateTime_CAPI& datetime_api();

}  // namespace morvane::module
