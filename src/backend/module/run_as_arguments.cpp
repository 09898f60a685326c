// run_as_arguments.cpp: register_task's account arguments.
#include "module/run_as_arguments.hpp"

#include <string>

#include "module/argument_text.hpp"
#include "module/type_mismatch.hpp"

namespace morvane::module {
namespace {

bool given(PyObject* argument) { return argument != nullptr && argument != Py_None; }

PythonError noted(std::string_view parameter, PyObject* type, const std::string& message) {
    return note_argument_failure(parameter, PythonError::with_message(type, message));
}

Result<std::optional<std::string_view>, PythonError> optional_text(PyObject* argument, std::string_view parameter) {
    if (!given(argument)) return std::optional<std::string_view>();
    Result<std::string_view, PythonError> text = task_name_text(argument, parameter);
    MORVANE_RETURN_IF_FAILED(text);
    return std::optional<std::string_view>(text.value());
}

// The password's UTF-8 view; its failures say what is wrong and never hold the text.
Result<std::optional<std::string_view>, PythonError> password_text(PyObject* argument) {
    constexpr std::string_view parameter = "password";
    if (!given(argument)) return std::optional<std::string_view>();
    if (!PyUnicode_Check(argument)) return Err{note_argument_failure(parameter, type_mismatch(argument, &PyUnicode_Type))};
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(argument, &size);
    if (utf8 == nullptr) {
        // UnicodeEncodeError keeps the whole str in its `object`: dropped, not chained.
        PyRef dropped = PyRef::steal(PyErr_GetRaisedException());
        return Err{noted(parameter, PyExc_ValueError, "password must be encodable as UTF-8 (it holds a lone surrogate)")};
    }
    const std::string_view text(utf8, static_cast<std::size_t>(size));
    if (text.find('\0') != std::string_view::npos)
        return Err{noted(parameter, PyExc_ValueError, "password cannot hold NUL characters")};
    return std::optional<std::string_view>(text);
}

Result<std::optional<scheduler::LogonType>, PythonError> logon_type_argument(PyObject* argument) {
    constexpr std::string_view parameter = "logon_type";
    using scheduler::LogonType;
    if (!given(argument)) return std::optional<LogonType>();
    if (!PyLong_Check(argument)) return Err{note_argument_failure(parameter, type_mismatch(argument, &PyLong_Type))};
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(argument, &overflow);
    if (value == -1 && overflow == 0 && PyErr_Occurred()) return Err{note_argument_failure(parameter, fetch_error())};
    if (overflow != 0 || value < static_cast<long>(LogonType::none) ||
        value > static_cast<long>(LogonType::interactive_token_or_password))
        return Err{noted(parameter, PyExc_ValueError, "logon_type must be a morvane.LogonType (0 to 6)")};
    return std::optional<LogonType>(static_cast<LogonType>(value));
}

}  // namespace

Result<scheduler::RunAs, PythonError> run_as_arguments(PyObject* user, PyObject* password, PyObject* logon_type,
                                                       PyObject* security) {
    Result<std::optional<std::string_view>, PythonError> user_text = optional_text(user, "user");
    MORVANE_RETURN_IF_FAILED(user_text);
    Result<std::optional<std::string_view>, PythonError> secret = password_text(password);
    MORVANE_RETURN_IF_FAILED(secret);
    Result<std::optional<scheduler::LogonType>, PythonError> logon = logon_type_argument(logon_type);
    MORVANE_RETURN_IF_FAILED(logon);
    Result<std::optional<std::string_view>, PythonError> descriptor = optional_text(security, "security");
    MORVANE_RETURN_IF_FAILED(descriptor);
    return scheduler::RunAs{user_text.value(), secret.value(), logon.value(), descriptor.value()};
}

}  // namespace morvane::module
