// task_results.cpp: binding and converting the arguments of list_tasks and run_times, and making
// the results of the task operations.
#include "module/tasks/task_results.hpp"

#include <array>

#include "module/argument_text.hpp"
#include "module/call_signature.hpp"
#include "module/tasks/local_datetime.hpp"
#include "module/tasks/task_arguments.hpp"
#include "module/tasks/task_info_objects.hpp"

namespace morvane::module {
namespace {

PyRef new_list(std::size_t size) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(size)));
    if (!list) throw InternalFailure("could not make a list: " + fetch_error().describe());
    return list;
}

}  // namespace

Result<ListingArguments, PythonError> listing_arguments(const CallSignature& signature, PyObject* const* args,
                                                        Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 3> slots{};
    if (Result<void, PythonError> bound = bind_arguments(signature, args, nargs, kwnames, slots); !bound)
        return Err{std::move(bound).error()};
    ListingArguments arguments{.folder = "\\", .scope = {}};
    if (slots[0] != nullptr) {
        Result<std::string_view, PythonError> text = task_name_text(slots[0], "folder");
        if (!text) return Err{std::move(text).error()};
        arguments.folder = text.value();
    }
    Result<bool, PythonError> recursive = flag_argument(slots[1], "recursive");
    if (!recursive) return Err{std::move(recursive).error()};
    arguments.scope.recursive = recursive.value();
    Result<bool, PythonError> hidden = flag_argument(slots[2], "hidden");
    if (!hidden) return Err{std::move(hidden).error()};
    arguments.scope.hidden = hidden.value();
    return arguments;
}

Result<RunTimesArguments, PythonError> run_times_arguments(const CallSignature& signature, PyObject* const* args,
                                                           Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 4> slots{};
    if (Result<void, PythonError> bound = bind_arguments(signature, args, nargs, kwnames, slots); !bound)
        return Err{std::move(bound).error()};
    Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
    if (!task_name) return Err{std::move(task_name).error()};
    Result<PyObject*, PythonError> start = aware_datetime_argument(slots[1], "start");
    if (!start) return Err{std::move(start).error()};
    Result<PyObject*, PythonError> end = aware_datetime_argument(slots[2], "end");
    if (!end) return Err{std::move(end).error()};
    Result<std::optional<std::uint32_t>, PythonError> max_count = count_argument(slots[3], "max_count");
    if (!max_count) return Err{std::move(max_count).error()};

    const int end_first = PyObject_RichCompareBool(end.value(), start.value(), Py_LT);
    if (end_first < 0) return Err{fetch_error()};
    if (end_first == 1) return Err{PythonError::with_message(PyExc_ValueError, "end is before start")};
    Result<long long, PythonError> first = utc_microseconds_of(start.value());
    if (!first) return Err{note_argument_failure("start", std::move(first).error())};
    Result<long long, PythonError> last = utc_microseconds_of(end.value());
    if (!last) return Err{note_argument_failure("end", std::move(last).error())};
    return RunTimesArguments{
        .task_name = task_name.value(),
        .query = {.first = first.value(), .last = last.value(), .max_count = max_count.value()},
    };
}

ObjectResult task_info_list(const std::vector<scheduler::TaskRecord>& records) {
    PyRef list = new_list(records.size());
    LocalDatetimeMaker times;
    for (std::size_t index = 0; index < records.size(); ++index) {
        ObjectResult info = make_task_info(records[index], times);
        if (!info) return info;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(index), std::move(info).value().release());
    }
    return list;
}

ObjectResult task_info_object(const scheduler::TaskRecord& record) {
    LocalDatetimeMaker times;
    return make_task_info(record, times);
}

ObjectResult definition_text(const std::string& xml) {
    PyRef made = PyRef::steal(PyUnicode_FromStringAndSize(xml.data(), static_cast<Py_ssize_t>(xml.size())));
    if (!made) return Err{fetch_error()};  // MemoryError for a definition too large to hold twice
    return made;
}

ObjectResult datetime_list(const std::vector<long long>& instants) {
    PyRef list = new_list(instants.size());
    LocalDatetimeMaker maker;
    for (std::size_t index = 0; index < instants.size(); ++index)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(index), maker.make_at(instants[index]).release());
    return list;
}

}  // namespace morvane::module
