// task_function_bodies.hpp: list_tasks, task_info, task_xml, enable_task, disable_task, stop_task
// and run_times as Python sees them, as module-level functions of _morvane_tasks and as methods
// of Scheduler. Made as the four operations of _morvane_backend are (see
// module/task_operation_bodies.hpp): a signature record and a body generic over its runner.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "module/call_frame.hpp"
#include "module/call_signature.hpp"
#include "module/task_name_body.hpp"
#include "module/tasks/task_results.hpp"
#include "scheduler/task_control.hpp"
#include "scheduler/task_listing.hpp"
#include "scheduler/task_properties.hpp"
#include "scheduler/task_run_times.hpp"

namespace morvane::module {

inline constexpr std::array<std::string_view, 1> kFolderOnly = {"folder"};
inline constexpr std::array<KeywordOnlyParameter, 2> kListingFlags = {{{"recursive", false}, {"hidden", false}}};
inline constexpr std::array<std::string_view, 3> kNameAndPeriod = {"task_name", "start", "end"};
inline constexpr std::array<KeywordOnlyParameter, 1> kMaxCount = {{{"max_count", false}}};

struct ListTasks {
    static constexpr CallSignature signature{
        .function_name = "list_tasks",
        .class_name = {},
        .positional = kFolderOnly,
        .positional_only = 0,
        .required_positional = 0,  // folder defaults to "\"
        .keyword_only = kListingFlags,
    };
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        Result<ListingArguments, PythonError> arguments = listing_arguments(bound_as, args, nargs, kwnames);
        if (!arguments) return Err{std::move(arguments).error()};
        const ListingArguments& listing = arguments.value();
        Result<std::vector<scheduler::TaskRecord>, PythonError> listed = runner.run(
            [&](auto&... connection) { return scheduler::list_tasks(connection..., listing.folder, listing.scope); });
        if (!listed) return Err{std::move(listed).error()};
        return task_info_list(listed.value());
    }
};

struct TaskInfo {
    static constexpr CallSignature signature = task_name_signature("task_info");
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        Result<std::string_view, PythonError> task_name = bound_task_name(bound_as, args, nargs, kwnames);
        if (!task_name) return Err{std::move(task_name).error()};
        Result<scheduler::TaskRecord, PythonError> record =
            runner.run([&](auto&... connection) { return scheduler::task_info(connection..., task_name.value()); });
        if (!record) return Err{std::move(record).error()};
        return task_info_object(record.value());
    }
};

struct TaskXml {
    static constexpr CallSignature signature = task_name_signature("task_xml");
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        Result<std::string_view, PythonError> task_name = bound_task_name(bound_as, args, nargs, kwnames);
        if (!task_name) return Err{std::move(task_name).error()};
        Result<std::string, PythonError> xml =
            runner.run([&](auto&... connection) { return scheduler::task_xml(connection..., task_name.value()); });
        if (!xml) return Err{std::move(xml).error()};
        return definition_text(xml.value());
    }
};

// enable_task and disable_task.
template <bool Enabled>
struct SetTaskEnabled {
    static constexpr CallSignature signature = task_name_signature(Enabled ? "enable_task" : "disable_task");
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        Result<std::string_view, PythonError> task_name = bound_task_name(bound_as, args, nargs, kwnames);
        if (!task_name) return Err{std::move(task_name).error()};
        return none_or_error(runner.run([&](auto&... connection) {
            return scheduler::set_task_enabled(connection..., task_name.value(), Enabled);
        }));
    }
};
using EnableTask = SetTaskEnabled<true>;
using DisableTask = SetTaskEnabled<false>;

struct StopTask {
    static constexpr CallSignature signature = task_name_signature("stop_task");
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        Result<std::string_view, PythonError> task_name = bound_task_name(bound_as, args, nargs, kwnames);
        if (!task_name) return Err{std::move(task_name).error()};
        return none_or_error(
            runner.run([&](auto&... connection) { return scheduler::stop_task(connection..., task_name.value()); }));
    }
};

struct RunTimes {
    static constexpr CallSignature signature{
        .function_name = "run_times",
        .class_name = {},
        .positional = kNameAndPeriod,
        .positional_only = 0,
        .required_positional = 3,
        .keyword_only = kMaxCount,
    };
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        Result<RunTimesArguments, PythonError> arguments = run_times_arguments(bound_as, args, nargs, kwnames);
        if (!arguments) return Err{std::move(arguments).error()};
        const RunTimesArguments& period = arguments.value();
        Result<std::vector<long long>, PythonError> found = runner.run(
            [&](auto&... connection) { return scheduler::run_times(connection..., period.task_name, period.query); });
        if (!found) return Err{std::move(found).error()};
        return datetime_list(found.value());
    }
};

}  // namespace morvane::module
