// task_functions.cpp: list_tasks, task_info, task_xml, enable_task, disable_task, stop_task and
// run_times as Python sees them.
//
// Like the four functions of _morvane_backend: each entry point runs its body in the call frame;
// the body binds the call and converts its arguments under the interpreter lock, runs the
// scheduler operation with the lock released, takes it back and makes the result, or the
// package's exception. A malformed call never reaches the scheduler.
#include "module/tasks/task_functions.hpp"

#include <array>
#include <string_view>
#include <vector>

#include "module/argument_text.hpp"
#include "module/call_frame.hpp"
#include "module/call_signature.hpp"
#include "module/interpreter_lock.hpp"
#include "module/scheduler_error_mapping.hpp"
#include "module/task_name_body.hpp"
#include "module/tasks/local_datetime.hpp"
#include "module/tasks/task_arguments.hpp"
#include "module/tasks/task_info_objects.hpp"
#include "scheduler/task_control.hpp"
#include "scheduler/task_listing.hpp"
#include "scheduler/task_properties.hpp"
#include "scheduler/task_run_times.hpp"

namespace morvane::module {
namespace {

constexpr std::array<std::string_view, 1> kTaskNameOnly = {"task_name"};
constexpr std::array<std::string_view, 1> kFolderOnly = {"folder"};
constexpr std::array<KeywordOnlyParameter, 2> kListingFlags = {{{"recursive", false}, {"hidden", false}}};
constexpr std::array<std::string_view, 3> kNameAndPeriod = {"task_name", "start", "end"};
constexpr std::array<KeywordOnlyParameter, 1> kMaxCount = {{{"max_count", false}}};

constexpr CallSignature task_name_signature(std::string_view function) {
    return CallSignature{
        .function_name = function,
        .class_name = {},
        .positional = kTaskNameOnly,
        .positional_only = 0,
        .required_positional = 1,
        .keyword_only = {},
    };
}

constexpr CallSignature kListTasks{
    .function_name = "list_tasks",
    .class_name = {},
    .positional = kFolderOnly,
    .positional_only = 0,
    .required_positional = 0,  // folder defaults to "\"
    .keyword_only = kListingFlags,
};
constexpr CallSignature kTaskInfo = task_name_signature("task_info");
constexpr CallSignature kTaskXml = task_name_signature("task_xml");
constexpr CallSignature kEnableTask = task_name_signature("enable_task");
constexpr CallSignature kDisableTask = task_name_signature("disable_task");
constexpr CallSignature kStopTask = task_name_signature("stop_task");
constexpr CallSignature kRunTimes{
    .function_name = "run_times",
    .class_name = {},
    .positional = kNameAndPeriod,
    .positional_only = 0,
    .required_positional = 3,
    .keyword_only = kMaxCount,
};

template <class Value>
using SchedulerResult = Result<Value, scheduler::SchedulerError>;

PyRef new_list(std::size_t size) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(size)));
    if (!list) throw InternalFailure("could not make a list: " + fetch_error().describe());
    return list;
}

ObjectResult list_tasks_body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 3> slots{};
    if (Result<void, PythonError> bound = bind_arguments(kListTasks, args, nargs, kwnames, slots); !bound)
        return Err{std::move(bound).error()};
    std::string_view folder = "\\";
    if (slots[0] != nullptr) {
        Result<std::string_view, PythonError> text = task_name_text(slots[0], "folder");
        if (!text) return Err{std::move(text).error()};
        folder = text.value();
    }
    scheduler::ListingScope scope;
    Result<bool, PythonError> recursive = flag_argument(slots[1], "recursive");
    if (!recursive) return Err{std::move(recursive).error()};
    scope.recursive = recursive.value();
    Result<bool, PythonError> hidden = flag_argument(slots[2], "hidden");
    if (!hidden) return Err{std::move(hidden).error()};
    scope.hidden = hidden.value();

    SchedulerResult<std::vector<scheduler::TaskRecord>> listed =
        without_interpreter_lock([&] { return scheduler::list_tasks(folder, scope); });
    if (!listed) return Err{map_scheduler_error(std::move(listed).error())};

    const std::vector<scheduler::TaskRecord>& records = listed.value();
    PyRef list = new_list(records.size());
    LocalDatetimeMaker times;
    for (std::size_t index = 0; index < records.size(); ++index) {
        ObjectResult info = make_task_info(records[index], times);
        if (!info) return info;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(index), std::move(info).value().release());
    }
    return list;
}

ObjectResult task_info_impl(std::string_view task_name) {
    SchedulerResult<scheduler::TaskRecord> record =
        without_interpreter_lock([&] { return scheduler::task_info(task_name); });
    if (!record) return Err{map_scheduler_error(std::move(record).error())};
    LocalDatetimeMaker times;
    return make_task_info(record.value(), times);
}

ObjectResult task_xml_impl(std::string_view task_name) {
    SchedulerResult<std::string> xml = without_interpreter_lock([&] { return scheduler::task_xml(task_name); });
    if (!xml) return Err{map_scheduler_error(std::move(xml).error())};
    const std::string& text = xml.value();
    PyRef made = PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (!made) return Err{fetch_error()};  // MemoryError for a definition too large to hold twice
    return made;
}

ObjectResult enable_task_impl(std::string_view task_name) {
    return none_or_error(without_interpreter_lock([&] { return scheduler::set_task_enabled(task_name, true); }));
}

ObjectResult disable_task_impl(std::string_view task_name) {
    return none_or_error(without_interpreter_lock([&] { return scheduler::set_task_enabled(task_name, false); }));
}

ObjectResult stop_task_impl(std::string_view task_name) {
    return none_or_error(without_interpreter_lock([&] { return scheduler::stop_task(task_name); }));
}

ObjectResult run_times_body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 4> slots{};
    if (Result<void, PythonError> bound = bind_arguments(kRunTimes, args, nargs, kwnames, slots); !bound)
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
    Result<scheduler::LocalTime, PythonError> first = local_time_of(start.value());
    if (!first) return Err{note_argument_failure("start", std::move(first).error())};
    Result<scheduler::LocalTime, PythonError> last = local_time_of(end.value());
    if (!last) return Err{note_argument_failure("end", std::move(last).error())};

    SchedulerResult<std::vector<scheduler::LocalTime>> found = without_interpreter_lock([&] {
        return scheduler::run_times(task_name.value(), first.value(), last.value(), max_count.value());
    });
    if (!found) return Err{map_scheduler_error(std::move(found).error())};

    const std::vector<scheduler::LocalTime>& times = found.value();
    PyRef list = new_list(times.size());
    LocalDatetimeMaker maker;
    for (std::size_t index = 0; index < times.size(); ++index)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(index), maker.make(times[index]).release());
    return list;
}

}  // namespace

PyObject* list_tasks_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return list_tasks_body(args, nargs, kwnames); });
}

PyObject* task_info_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return task_name_body<task_info_impl>(kTaskInfo, args, nargs, kwnames); });
}

PyObject* task_xml_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return task_name_body<task_xml_impl>(kTaskXml, args, nargs, kwnames); });
}

PyObject* enable_task_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return task_name_body<enable_task_impl>(kEnableTask, args, nargs, kwnames); });
}

PyObject* disable_task_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return task_name_body<disable_task_impl>(kDisableTask, args, nargs, kwnames); });
}

PyObject* stop_task_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return task_name_body<stop_task_impl>(kStopTask, args, nargs, kwnames); });
}

PyObject* run_times_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return run_times_body(args, nargs, kwnames); });
}

}  // namespace morvane::module
