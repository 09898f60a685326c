// task_arguments.cpp: flag_argument, aware_datetime_argument and count_argument.
#include "module/tasks/task_arguments.hpp"

#include <limits>
#include <string>

#include "module/argument_text.hpp"
#include "module/tasks/datetime_api.hpp"
#include "module/type_mismatch.hpp"

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
    constexpr long long kMost = std::numeric_limits<std::uint32_t>::max();
    return std::optional<std::uint32_t>(static_cast<std::uint32_t>(overflow > 0 || count > kMost ? kMost : count));
}

}  // namespace morvane::module
