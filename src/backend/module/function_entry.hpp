// function_entry.hpp: the entry point of a module-level function: its operation's body, run in
// the call frame on a connection of its own.
#pragma once

#include "module/call_frame.hpp"
#include "module/own_connection_runner.hpp"

namespace morvane::module {

// METH_FASTCALL | METH_KEYWORDS | METH_STATIC: self is NULL and ignored. Operation is a struct
// with a signature and a body (see task_operation_bodies.hpp).
template <class Operation>
PyObject* function_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame(
        [&] { return Operation::body(OwnConnectionRunner{}, Operation::signature, args, nargs, kwnames); });
}

}  // namespace morvane::module
