// connection_arguments.hpp: the arguments of Scheduler(computer=None, *, user=None, domain=None,
// password=None), bound and made into the session's ConnectionTarget.
#pragma once

#include "module/python.hpp"
#include "module/python_error.hpp"
#include "runtime/result.hpp"
#include "scheduler/connection_target.hpp"

namespace morvane::module {

// Binds tp_new's arguments as CPython binds such a signature (the same TypeErrors), then converts
// each: None or a str without NUL characters. The password is read straight from the str's
// characters into a SecretUnits, so that no UTF-8 copy of it is cached inside the str, and no
// message or note ever quotes it. A user needs a password and a password or a domain needs a
// user (ValueError): a connection logs on with both, or with the caller's own token.
Result<scheduler::ConnectionTarget, PythonError> connection_arguments(PyObject* args, PyObject* kwargs);

}  // namespace morvane::module
