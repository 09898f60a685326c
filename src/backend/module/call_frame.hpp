// call_frame.hpp: the frame around every entry from the interpreter into the module.
//
// The entry points of the four functions and the module's execution slot each run their body
// through call_frame. Inside, failures are values (Result<..., PythonError>), and an
// InternalFailure unwinds to the frame, which raises it as PanicException. The frame is the only
// place that catches: anything else that reaches it, or an InternalFailure while it raises, ends
// in the last-resort report "uncaught panic at ffi boundary" and abort(), because nothing may
// unwind into the interpreter. A thread that the interpreter's exit ends while Python code runs
// inside the frame (an exception class, an import) parks in the frame (see thread_exit.hpp); what
// it held on the way there has been released, its Python references left to the interpreter.
// Making and leaving the frame costs nothing on success.
#pragma once

#include <utility>

#include "module/panic_exception.hpp"
#include "module/py_ref.hpp"
#include "module/python_error.hpp"
#include "module/thread_exit.hpp"
#include "runtime/last_resort.hpp"
#include "runtime/result.hpp"

namespace morvane::module {

using ObjectResult = Result<PyRef, PythonError>;
using StatusResult = Result<void, PythonError>;

namespace detail {

template <class Body>
auto contained(Body& body) -> decltype(body()) {
    try {
        return body();
    } catch (const InternalFailure& failure) {
        return Err{panic_error(failure)};
    }
}

}  // namespace detail

// For an entry point: a new reference, or NULL with exactly one exception pending.
template <class Body>
MORVANE_MEETS_THREAD_EXIT PyObject* call_frame(Body&& body) noexcept {
    try {
        ObjectResult outcome = detail::contained(body);
        if (outcome) return std::move(outcome).value().release();
        raise_error(std::move(outcome).error());
        return nullptr;
    } catch (const ThreadExitUnwind&) {
        park_exiting_thread();
    } catch (...) {
        abort_for_current_exception();
    }
}

// For the execution slot: 0, or -1 with exactly one exception pending.
template <class Body>
MORVANE_MEETS_THREAD_EXIT int call_frame_status(Body&& body) noexcept {
    try {
        StatusResult outcome = detail::contained(body);
        if (outcome) return 0;
        raise_error(std::move(outcome).error());
        return -1;
    } catch (const ThreadExitUnwind&) {
        park_exiting_thread();
    } catch (...) {
        abort_for_current_exception();
    }
}

}  // namespace morvane::module
