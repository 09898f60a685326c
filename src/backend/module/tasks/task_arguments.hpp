// task_arguments.hpp: the arguments of the task functions that are not texts: flags, aware
// datetimes and a count. A failure carries the note that names the parameter, as a text's does.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "module/python_error.hpp"
#include "runtime/result.hpp"
#include "scheduler/local_time.hpp"

namespace morvane::module {

// An empty slot (the keyword was not given) is false; otherwise a bool, exactly (True or False):
// anything else is the type-mismatch TypeError with bool as the expected type.
Result<bool, PythonError> flag_argument(PyObject* argument, std::string_view parameter);

// A datetime (or subclass) that is aware: its tzinfo gives an offset. A naive one is a TypeError,
// as the service's times mean nothing without a zone.
Result<PyObject*, PythonError> aware_datetime_argument(PyObject* argument, std::string_view parameter);

// An empty slot or None is no limit; otherwise an int of at least 1 (ValueError below that).
// Counts beyond what the service counts (2**32 - 1) ask for that many.
Result<std::optional<std::uint32_t>, PythonError> count_argument(PyObject* argument, std::string_view parameter);

}  // namespace morvane::module
