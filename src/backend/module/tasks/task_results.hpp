// task_results.hpp: the parts of the task operations that do not depend on how an operation
// reaches the service: converting the arguments of listing and run times, and making the results.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "module/call_frame.hpp"
#include "module/call_signature.hpp"
#include "scheduler/task_listing.hpp"
#include "scheduler/task_properties.hpp"
#include "scheduler/task_run_times.hpp"

namespace morvane::module {

// list_tasks's arguments, bound and converted: the folder's text borrows from the call.
struct ListingArguments {
    std::string_view folder;
    scheduler::ListingScope scope;
};
Result<ListingArguments, PythonError> listing_arguments(const CallSignature& signature, PyObject* const* args,
                                                        Py_ssize_t nargs, PyObject* kwnames);

// run_times's arguments, bound and converted: the name's text borrows from the call.
struct RunTimesArguments {
    std::string_view task_name;
    scheduler::RunTimesQuery query;
};
Result<RunTimesArguments, PythonError> run_times_arguments(const CallSignature& signature, PyObject* const* args,
                                                           Py_ssize_t nargs, PyObject* kwnames);

// A list of TaskInfo; a TaskInfo; a str; a list of aware local datetimes of instants given in
// microseconds since 1970-01-01 00:00 UTC.
ObjectResult task_info_list(const std::vector<scheduler::TaskRecord>& records);
ObjectResult task_info_object(const scheduler::TaskRecord& record);
ObjectResult definition_text(const std::string& xml);
ObjectResult datetime_list(const std::vector<long long>& instants);

}  // namespace morvane::module
