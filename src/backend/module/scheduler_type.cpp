// scheduler_type.cpp: morvane.Scheduler, a session with the Task Scheduler service as a Python
// object: opening it, the task operations as its methods, closing it (also as a context
// manager), its repr, and what becomes of an instance dropped while still open.
/* === Overview ===
An instance owns one SchedulerSession, opened by tp_new before the instance is allocated, so that
every instance has one. The session does the real work and is safe to call from any number of
threads at once: the instance keeps no state of its own that a call changes, which is what lets
the module run without the interpreter lock. The task methods are the rows of the operation
catalogue, run by the same generic body as the module-level functions; they differ only in their
runner (the session's connection) and in the binder's messages ("Scheduler.<method>()"). The
session connects to the computer and with the credentials given to tp_new, and keeps them (the
password only in wiped memory, see SecretUnits) to connect anew after a lost connection; the
instance itself keeps none of them, so nothing of the password is reachable from Python. A closed session refuses calls with ValueError, a
session used in a forked child with RuntimeError: both after the arguments were bound and
converted, as the functions check their arguments before any service call.

An instance dropped while open warns with ResourceWarning, as a file does, and is closed. In a
forked child the instance is a copy of the parent's: dropping it warns nothing and releases
nothing (the native session leaves the parent's connection alone there).
*/
#include "module/scheduler_type.hpp"

#include <array>
#include <memory>
#include <new>
#include <string_view>

#include "module/call_frame.hpp"
#include "module/call_signature.hpp"
#include "module/connection_arguments.hpp"
#include "module/interpreter_lock.hpp"
#include "module/module_functions.hpp"
#include "module/operation_catalogue.hpp"
#include "module/scheduler_error_mapping.hpp"
#include "module/scheduler_object.hpp"
#include "module/operation_runner.hpp"
#include "runtime/fork_generation.hpp"
#include "scheduler/connection_facts.hpp"

namespace morvane::module {
namespace {

using scheduler::SchedulerSession;
using scheduler::SessionRefusal;

constexpr std::array<std::string_view, 3> exit_parameters = {"exc_type", "exc_value", "traceback"};
constexpr CallSignature exit_signature{
    .function_name = "__exit__",
    .class_name = "Scheduler",
    .positional = exit_parameters,
    .positional_only = /*all*/ 3,
    .required_positional = /*all*/ 3,
    .keyword_only = {},
};

bool opened_in_this_process(PyObject* self) noexcept {
    return reinterpret_cast<SchedulerObject*>(self)->fork_generation == fork_generation();
}

// The refusal a task method would meet, for the methods that do not reach the service.
StatusResult usable(PyObject* self) {
    if (!opened_in_this_process(self)) return Err{session_failure_error(SessionRefusal::other_process)};
    if (session_of(self).closed()) return Err{session_failure_error(SessionRefusal::closed)};
    return {};
}

// Releasing the connection may wait for a thread of the multithreaded apartment.
void close_session(PyObject* self) {
    without_interpreter_lock([self] { session_of(self).close(); });
}

ObjectResult open_body(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    Result<scheduler::ConnectionTarget, PythonError> target = connection_arguments(args, kwargs);
    MORVANE_RETURN_IF_FAILED(target);
    Result<SchedulerSession, scheduler::SchedulerError> opened =
        without_interpreter_lock([&target] { return SchedulerSession::open(std::move(target).value()); });
    if (!opened) return Err{map_scheduler_error(std::move(opened).error())};
    PyRef object = PyRef::steal(type->tp_alloc(type, 0));
    if (!object) return Err{fetch_error()};  // the session closes as it goes out of scope
    auto* made = reinterpret_cast<SchedulerObject*>(object.get());
    new (&made->session) SchedulerSession(std::move(opened).value());
    made->fork_generation = fork_generation();
    return object;
}

PyObject* scheduler_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return call_frame([&] { return open_body(type, args, kwargs); });
}

StatusResult finalize_body(PyObject* self) {
    if (!opened_in_this_process(self) || session_of(self).closed()) return {};
    if (PyErr_ResourceWarning(self, 1, "unclosed %R", self) < 0) PyErr_WriteUnraisable(self);
    close_session(self);
    return {};
}

void scheduler_finalize(PyObject* self) noexcept {
    PyObject* pending = PyErr_GetRaisedException();
    if (call_frame_status([self] { return finalize_body(self); }) < 0) PyErr_WriteUnraisable(self);
    PyErr_SetRaisedException(pending);
}

void scheduler_dealloc(PyObject* self) noexcept {
    if (PyObject_CallFinalizerFromDealloc(self) < 0) return;  // a warning handler kept it alive
    PyTypeObject* type = Py_TYPE(self);
    std::destroy_at(&reinterpret_cast<SchedulerObject*>(self)->session);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* scheduler_repr(PyObject* self) noexcept {
    return call_frame([self]() -> ObjectResult {
        const char* state = session_of(self).closed() ? "closed" : "open";
        PyRef text = PyRef::steal(PyUnicode_FromFormat("<morvane.Scheduler %s at %p>", state, self));
        if (!text) return Err{fetch_error()};
        return text;
    });
}

PyObject* scheduler_close(PyObject* self, PyObject*) noexcept {
    return call_frame([self]() -> ObjectResult {
        close_session(self);
        return PyRef::borrow(Py_None);
    });
}

PyObject* scheduler_enter(PyObject* self, PyObject*) noexcept {
    return call_frame([self]() -> ObjectResult {
        MORVANE_RETURN_IF_FAILED(usable(self));
        return PyRef::borrow(self);
    });
}

PyObject* scheduler_exit(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&]() -> ObjectResult {
        std::array<PyObject*, 3> slots{};
        MORVANE_RETURN_IF_FAILED(bind_arguments(exit_signature, args, nargs, kwnames, slots));
        close_session(self);
        return PyRef::borrow(Py_False);  // exceptions pass through
    });
}

PyObject* scheduler_closed(PyObject* self, void*) noexcept { return PyBool_FromLong(session_of(self).closed()); }

// A fact of the connection, asked of the service each time (after a reconnection it may differ).
template <scheduler::ConnectionFact Fact>
PyObject* connection_fact_getter(PyObject* self, void*) noexcept {
    return call_frame([self]() -> ObjectResult {
        Result<std::string, PythonError> text = Runner<AsSchedulerMethod>{AsSchedulerMethod::of(self)}.run(
            [](scheduler::SchedulerConnection& connection) {
                return scheduler::connection_fact(connection, Fact);
            });
        MORVANE_RETURN_IF_FAILED(text);
        PyRef made = PyRef::steal(
            PyUnicode_FromStringAndSize(text.value().data(), static_cast<Py_ssize_t>(text.value().size())));
        if (!made) return Err{fetch_error()};
        return made;
    });
}

constexpr int method_flags = METH_FASTCALL | METH_KEYWORDS;

// Every operation of the catalogue, then the session's own methods.
auto method_table = SchedulerOperations::method_table<AsSchedulerMethod, Docstrings::shown>(
    PyMethodDef{"close", reinterpret_cast<PyCFunction>(scheduler_close), METH_NOARGS,
                "close($self, /)\n--\n\nCloses the session; calls already running finish on its connection. "
                "Idempotent."},
    PyMethodDef{"__enter__", reinterpret_cast<PyCFunction>(scheduler_enter), METH_NOARGS, "__enter__($self, /)\n--\n\n"},
    PyMethodDef{"__exit__", as_method(scheduler_exit), method_flags,
                "__exit__($self, exc_type, exc_value, traceback, /)\n--\n\n"},
    PyMethodDef{nullptr, nullptr, 0, nullptr});  // sentinel

PyGetSetDef getset_table[] = {
    {"closed", scheduler_closed, nullptr, "True once close() was called.", nullptr},
    {"computer", connection_fact_getter<scheduler::ConnectionFact::target_server>, nullptr,
     "The name of the computer whose service the session is connected to, as the service gives it.", nullptr},
    {"connected_user", connection_fact_getter<scheduler::ConnectionFact::connected_user>, nullptr,
     "The account the session acts as on that computer, as the service gives it.", nullptr},
    {"connected_domain", connection_fact_getter<scheduler::ConnectionFact::connected_domain>, nullptr,
     "The domain of that account (a computer's name for its local accounts), as the service gives it.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},  // sentinel
};

PyType_Slot type_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(scheduler_new)},
    {Py_tp_finalize, reinterpret_cast<void*>(scheduler_finalize)},
    {Py_tp_dealloc, reinterpret_cast<void*>(scheduler_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(scheduler_repr)},
    {Py_tp_methods, method_table.data()},
    {Py_tp_getset, getset_table},
    {Py_tp_doc, const_cast<char*>("Scheduler(computer=None, *, user=None, domain=None, password=None)\n--\n\n"
                                  "One connection to the Task Scheduler service, kept open for any number of task "
                                  "operations from any number of threads, until close(). computer names another "
                                  "computer (None: this one); user, domain and password log on there as that "
                                  "account (None: as the caller).")},
    {0, nullptr},  // sentinel
};

PyType_Spec type_spec = {
    .name = "morvane.Scheduler",
    .basicsize = sizeof(SchedulerObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = type_slots,
};

}  // namespace

PyType_Spec& scheduler_type_spec() noexcept { return type_spec; }

}  // namespace morvane::module
