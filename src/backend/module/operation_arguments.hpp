// operation_arguments.hpp: the argument converters of the task operations: from the bound slots
// of a call (see call_signature.hpp) to the values its scheduler operation takes, in its order.
// A failure carries the note that names the parameter, as a text's does (argument_text.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "module/definition_argument.hpp"
#include "module/python_error.hpp"
#include "module/run_as_arguments.hpp"
#include "runtime/result.hpp"
#include "scheduler/task_listing.hpp"
#include "scheduler/task_run_times.hpp"

namespace morvane::module {

// The slots of one call, one per parameter, empty (null) for an optional one not given.
using BoundSlots = std::span<PyObject* const>;

template <class... Values>
using Arguments = Result<std::tuple<Values...>, PythonError>;

// An empty slot (the keyword was not given) is false; otherwise a bool, exactly (True or False):
// anything else is the type-mismatch TypeError with bool as the expected type.
Result<bool, PythonError> flag_argument(PyObject* argument, std::string_view parameter);

// A datetime (or subclass) that is aware: its tzinfo gives an offset. A naive one is a TypeError,
// as the service's times mean nothing without a zone.
Result<PyObject*, PythonError> aware_datetime_argument(PyObject* argument, std::string_view parameter);

// An empty slot or None is no limit; otherwise an int of at least 1 (ValueError below that).
// Counts beyond what the service counts (2**32 - 1) ask for that many.
Result<std::optional<std::uint32_t>, PythonError> count_argument(PyObject* argument, std::string_view parameter);

// (task_name): a task name's text (task_name_text), borrowed from the call.
Arguments<std::string_view> task_name_arguments(BoundSlots slots);

// (task_name, xml_data): the name and the definition's text.
Arguments<std::string_view, std::string_view> definition_arguments(BoundSlots slots);

// (task_name, definition, *, mode=RegisterMode.CREATE_OR_UPDATE, user=None, password=None,
// logon_type=None, security=None): the name, the definition's text (written by its to_xml() when
// it is not a str), the mode, and whom the task runs as (run_as_arguments.hpp).
Arguments<std::string_view, DefinitionText, scheduler::RegisterMode, scheduler::RunAs> registration_arguments(
    BoundSlots slots);

// (task_name) for set_task_enabled, with the state the operation sets.
template <bool Enabled>
Arguments<std::string_view, bool> enabling_arguments(BoundSlots slots) {
    Arguments<std::string_view> name = task_name_arguments(slots);
    MORVANE_RETURN_IF_FAILED(name);
    return std::tuple{std::get<0>(name.value()), Enabled};
}

// (path): a folder's path, as task_name_arguments takes a name.
Arguments<std::string_view> folder_path_arguments(BoundSlots slots);

// (path='\\', *, recursive=False).
Arguments<std::string_view, bool> folder_listing_arguments(BoundSlots slots);

// (task_name, *, parameters=None): parameters are None or a sequence (not a str) of at most 32
// str, each copied (the sequence may change once the lock is released), none holding a NUL
// character (ValueError, as in a name).
Arguments<std::string_view, std::optional<std::vector<std::string>>> start_task_arguments(BoundSlots slots);

// (task_name=None, *, hidden=False): one task's instances, or all.
Arguments<std::optional<std::string_view>, bool> running_tasks_arguments(BoundSlots slots);

// (task_name, instance_guid).
Arguments<std::string_view, std::string_view> instance_arguments(BoundSlots slots);

// (folder='\\', *, recursive=False, hidden=False).
Arguments<std::string_view, scheduler::ListingScope> listing_arguments(BoundSlots slots);

// (task_name, start, end, *, max_count=None): end before start is a ValueError; the period's
// ends become instants.
Arguments<std::string_view, scheduler::RunTimesQuery> run_times_arguments(BoundSlots slots);

}  // namespace morvane::module
