// task_info_objects.cpp: make_task_info, with TaskInfo and TaskState kept in OnceCells.
#include "module/task_info_objects.hpp"

#include <string>
#include <string_view>

#include "module/once_cell.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {
namespace {

constinit OnceCell task_info_class;
constinit OnceCell task_state_class;
constinit OnceCell registered_principal_function;
// TaskState's members, by the service's number: a listing names one per task.
constinit OnceCell task_state_members[5];

PyObject* task_info_attribute(const char* name) { return package_attribute("morvane.task_records", name); }

}  // namespace

PyRef make_integer(long long value) {
    PyRef object = PyRef::steal(PyLong_FromLongLong(value));
    if (!object) throw InternalFailure("could not make a task's number: " + fetch_error().describe());
    return object;
}

PyObject* package_attribute(const char* module_name, const char* name) {
    PyRef module = PyRef::steal(PyImport_ImportModule(module_name));
    if (!module) throw InternalFailure(std::string("could not import ") + module_name + ": " + fetch_error().describe());
    PyObject* attribute = PyObject_GetAttrString(module.get(), name);
    if (attribute == nullptr)
        throw InternalFailure(std::string(module_name) + " has no " + name + ": " + fetch_error().describe());
    return attribute;
}

PyRef make_text(std::string_view text) {
    PyRef object = PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (!object) throw InternalFailure("could not make a task's text: " + fetch_error().describe());
    return object;
}

Result<PyRef, PythonError> call_positionally(PyObject* callable, PyObject** arguments, std::size_t count) {
    PyRef made =
        PyRef::steal(PyObject_Vectorcall(callable, arguments, count | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    if (!made) return Err{fetch_error()};
    return made;
}

// Made by calling the class once per number.
PyObject* task_state_member(scheduler::TaskState state) {
    const int number = static_cast<int>(state);
    return task_state_members[number].get([number] {
        PyObject* state_class = task_state_class.get([] { return task_info_attribute("TaskState"); });
        PyRef value = make_integer(number);
        PyObject* arguments[] = {nullptr, value.get()};
        Result<PyRef, PythonError> member = call_positionally(state_class, arguments + 1, 1);
        if (!member) throw InternalFailure("TaskState has no member " + std::to_string(number) + ": " +
                                           std::move(member).error().describe());
        return std::move(member).value().release();
    });
}

Result<PyRef, PythonError> registered_principal(PyObject* xml) {
    PyObject* reader =
        registered_principal_function.get([] { return task_info_attribute("registered_principal"); });
    PyObject* arguments[] = {nullptr, xml};
    return call_positionally(reader, arguments + 1, 1);
}

Result<PyRef, PythonError> make_task_info(const scheduler::TaskRecord& record, LocalDatetimeMaker& times,
                                          PyObject* principal) {
    PyObject* info_class = task_info_class.get([] { return task_info_attribute("TaskInfo"); });
    PyObject* state = task_state_member(record.state);

    PyRef path = make_text(record.path);
    PyRef name = make_text(record.name);
    PyRef last_run_time = times.make(record.last_run_time);
    PyRef next_run_time = times.make(record.next_run_time);
    PyRef last_task_result = make_integer(record.last_task_result);
    PyRef missed_runs = make_integer(record.number_of_missed_runs);
    PyObject* arguments[] = {nullptr,
                             path.get(),
                             name.get(),
                             record.enabled ? Py_True : Py_False,
                             state,
                             last_run_time.get(),
                             next_run_time.get(),
                             last_task_result.get(),
                             missed_runs.get(),
                             principal};
    return call_positionally(info_class, arguments + 1, principal == nullptr ? 8 : 9);
}

}  // namespace morvane::module
