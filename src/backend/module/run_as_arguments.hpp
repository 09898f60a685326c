// run_as_arguments.hpp: the account arguments of register_task: user, password, logon_type and
// security, each None or a value.
#pragma once

#include <string_view>

#include "module/python_error.hpp"
#include "runtime/result.hpp"
#include "scheduler/task_registration.hpp"

namespace morvane::module {

// (user=None, password=None, logon_type=None, security=None) from their four slots. user and
// security are str without NUL characters; password too, but no failure of it shows its text (a
// lone surrogate is a ValueError of its own, not the codec's error, which would carry the whole
// text); logon_type an int of TASK_LOGON_TYPE (0 to 6, a morvane.LogonType member). Every failure
// carries the note naming the parameter. The views borrow the str objects the call holds.
Result<scheduler::RunAs, PythonError> run_as_arguments(PyObject* user, PyObject* password, PyObject* logon_type,
                                                       PyObject* security);

}  // namespace morvane::module
