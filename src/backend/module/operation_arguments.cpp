// operation_arguments.cpp: the argument converters of the task operations.
#include "module/operation_arguments.hpp"

#include <limits>
#include <string>

#include "module/argument_text.hpp"
#include "module/datetime_api.hpp"
#include "module/local_datetime.hpp"
#include "module/type_mismatch.hpp"
#include "scheduler/running_instances.hpp"

namespace morvane::module {

Result<bool, PythonError> flag_argument(PyObject* argument, std::string_view parameter) {
    if (argument == nullptr) return false;
    if (!PyBool_Check(argument)) return Err{note_argument_failure(parameter, type_mismatch(argument, &PyBool_Type))};
    return argument == Py_True;
}

Result<PyObject*, PythonError> aware_datetime_argument(PyObject* argument, std::string_view parameter) {
    PyTypeObject* datetime_type = datetime_api().DateTimeType;
    if (!PyObject_TypeCheck(argument, datetime_type))
        return Err{note_argument_failure(parameter, type_mismatch(argument, datetime_type))};
    PyRef offset = PyRef::steal(PyObject_CallMethod(argument, "utcoffset", nullptr));
    if (!offset) return Err{note_argument_failure(parameter, fetch_error())};
    if (offset.get() == Py_None) {
        const std::string message = std::string(parameter) +
                                    " is a naive datetime: pass an aware one (with a tzinfo), "
                                    "such as datetime.now().astimezone()";
        return Err{note_argument_failure(parameter, PythonError::with_message(PyExc_TypeError, message))};
    }
    return argument;
}

Result<std::optional<std::uint32_t>, PythonError> count_argument(PyObject* argument, std::string_view parameter) {
    if (argument == nullptr || argument == Py_None) return std::optional<std::uint32_t>();
    if (!PyLong_Check(argument))
        return Err{note_argument_failure(parameter, type_mismatch(argument, &PyLong_Type))};
    int overflow = 0;
    const long long count = PyLong_AsLongLongAndOverflow(argument, &overflow);
    if (count == -1 && overflow == 0 && PyErr_Occurred()) return Err{note_argument_failure(parameter, fetch_error())};
    if (overflow < 0 || (overflow == 0 && count < 1)) {
        const std::string message = std::string(parameter) + " must be at least 1";
        return Err{note_argument_failure(parameter, PythonError::with_message(PyExc_ValueError, message))};
    }
    constexpr long long most = std::numeric_limits<std::uint32_t>::max();
    return std::optional<std::uint32_t>(static_cast<std::uint32_t>(overflow > 0 || count > most ? most : count));
}

Arguments<std::string_view> task_name_arguments(BoundSlots slots) {
    Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
    MORVANE_RETURN_IF_FAILED(task_name);
    return std::tuple{task_name.value()};
}

Arguments<std::string_view, std::string_view> definition_arguments(BoundSlots slots) {
    Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
    MORVANE_RETURN_IF_FAILED(task_name);
    Result<std::string_view, PythonError> xml_data = argument_text(slots[1], "xml_data");
    MORVANE_RETURN_IF_FAILED(xml_data);
    return std::tuple{task_name.value(), xml_data.value()};
}

Arguments<std::string_view> folder_path_arguments(BoundSlots slots) {
    Result<std::string_view, PythonError> path = task_name_text(slots[0], "path");
    MORVANE_RETURN_IF_FAILED(path);
    return std::tuple{path.value()};
}

Arguments<std::string_view, bool> folder_listing_arguments(BoundSlots slots) {
    std::string_view path = "\\";
    if (slots[0] != nullptr) {
        Result<std::string_view, PythonError> text = task_name_text(slots[0], "path");
        MORVANE_RETURN_IF_FAILED(text);
        path = text.value();
    }
    Result<bool, PythonError> recursive = flag_argument(slots[1], "recursive");
    MORVANE_RETURN_IF_FAILED(recursive);
    return std::tuple{path, recursive.value()};
}

Arguments<std::string_view, DefinitionText, scheduler::RegisterMode, scheduler::RunAs> registration_arguments(
    BoundSlots slots) {
    Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
    MORVANE_RETURN_IF_FAILED(task_name);
    Result<DefinitionText, PythonError> definition = definition_argument(slots[1], "definition");
    MORVANE_RETURN_IF_FAILED(definition);
    Result<scheduler::RegisterMode, PythonError> mode = register_mode_argument(slots[2], "mode");
    MORVANE_RETURN_IF_FAILED(mode);
    Result<scheduler::RunAs, PythonError> run_as = run_as_arguments(slots[3], slots[4], slots[5], slots[6]);
    MORVANE_RETURN_IF_FAILED(run_as);
    return std::tuple{task_name.value(), std::move(definition).value(), mode.value(), run_as.value()};
}

Arguments<std::string_view, std::optional<std::vector<std::string>>> start_task_arguments(BoundSlots slots) {
    using Values = std::optional<std::vector<std::string>>;
    Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
    MORVANE_RETURN_IF_FAILED(task_name);
    PyObject* parameters = slots[1];
    if (parameters == nullptr || parameters == Py_None) return std::tuple{task_name.value(), Values()};
    // A str is a sequence of str: taken as one, it would pass each character as a parameter.
    if (PyUnicode_Check(parameters)) {
        return Err{note_argument_failure(
            "parameters",
            PythonError::with_message(PyExc_TypeError, "parameters must be a sequence of str, not a str: "
                                                       "pass [text] for one parameter"))};
    }
    // A tuple of the items: what another thread does to a list meanwhile cannot reach it.
    PyRef sequence = PyRef::steal(PySequence_Tuple(parameters));
    if (!sequence) return Err{note_argument_failure("parameters", fetch_error())};
    const Py_ssize_t count = PyTuple_GET_SIZE(sequence.get());
    if (count > static_cast<Py_ssize_t>(scheduler::most_run_parameters)) {
        const std::string message = "at most " + std::to_string(scheduler::most_run_parameters) +
                                    " parameters are taken ($(Arg0) to $(Arg31)), not " + std::to_string(count);
        return Err{note_argument_failure("parameters", PythonError::with_message(PyExc_ValueError, message))};
    }
    std::vector<std::string> values;
    values.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t index = 0; index < count; ++index) {
        Result<std::string_view, PythonError> text =
            task_name_text(PyTuple_GET_ITEM(sequence.get(), index), "parameters");
        MORVANE_RETURN_IF_FAILED(text);
        values.emplace_back(text.value());
    }
    return std::tuple{task_name.value(), Values(std::move(values))};
}

Arguments<std::optional<std::string_view>, bool> running_tasks_arguments(BoundSlots slots) {
    std::optional<std::string_view> task_name;
    if (slots[0] != nullptr && slots[0] != Py_None) {
        Result<std::string_view, PythonError> text = task_name_text(slots[0], "task_name");
        MORVANE_RETURN_IF_FAILED(text);
        task_name = text.value();
    }
    Result<bool, PythonError> hidden = flag_argument(slots[1], "hidden");
    MORVANE_RETURN_IF_FAILED(hidden);
    return std::tuple{task_name, hidden.value()};
}

Arguments<std::string_view, std::string_view> instance_arguments(BoundSlots slots) {
    Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
    MORVANE_RETURN_IF_FAILED(task_name);
    Result<std::string_view, PythonError> instance_guid = task_name_text(slots[1], "instance_guid");
    MORVANE_RETURN_IF_FAILED(instance_guid);
    return std::tuple{task_name.value(), instance_guid.value()};
}

Arguments<std::string_view, scheduler::ListingScope> listing_arguments(BoundSlots slots) {
    std::string_view folder = "\\";
    if (slots[0] != nullptr) {
        Result<std::string_view, PythonError> text = task_name_text(slots[0], "folder");
        MORVANE_RETURN_IF_FAILED(text);
        folder = text.value();
    }
    Result<bool, PythonError> recursive = flag_argument(slots[1], "recursive");
    MORVANE_RETURN_IF_FAILED(recursive);
    Result<bool, PythonError> hidden = flag_argument(slots[2], "hidden");
    MORVANE_RETURN_IF_FAILED(hidden);
    return std::tuple{folder, scheduler::ListingScope{.recursive = recursive.value(), .hidden = hidden.value()}};
}

Arguments<std::string_view, scheduler::RunTimesQuery> run_times_arguments(BoundSlots slots) {
    Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
    MORVANE_RETURN_IF_FAILED(task_name);
    Result<PyObject*, PythonError> start = aware_datetime_argument(slots[1], "start");
    MORVANE_RETURN_IF_FAILED(start);
    Result<PyObject*, PythonError> end = aware_datetime_argument(slots[2], "end");
    MORVANE_RETURN_IF_FAILED(end);
    Result<std::optional<std::uint32_t>, PythonError> max_count = count_argument(slots[3], "max_count");
    MORVANE_RETURN_IF_FAILED(max_count);

    const int end_first = PyObject_RichCompareBool(end.value(), start.value(), Py_LT);
    if (end_first < 0) return Err{fetch_error()};
    if (end_first == 1) return Err{PythonError::with_message(PyExc_ValueError, "end is before start")};
    Result<long long, PythonError> first = utc_microseconds_of(start.value());
    if (!first) return Err{note_argument_failure("start", std::move(first).error())};
    Result<long long, PythonError> last = utc_microseconds_of(end.value());
    if (!last) return Err{note_argument_failure("end", std::move(last).error())};
    return std::tuple{task_name.value(),
                      scheduler::RunTimesQuery{.first = first.value(), .last = last.value(), .max_count = max_count.value()}};
}

}  // namespace morvane::module
