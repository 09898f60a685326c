// connection_arguments.cpp: binding and converting Scheduler's arguments.
#include "module/connection_arguments.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "module/argument_text.hpp"
#include "module/call_signature.hpp"
#include "module/type_mismatch.hpp"

namespace morvane::module {
namespace {

using scheduler::ConnectionTarget;
using scheduler::SecretUnits;

constexpr std::array<std::string_view, 1> positional_parameters = {"computer"};
constexpr std::array<KeywordOnlyParameter, 3> keyword_parameters = {{
    {"user", false},
    {"domain", false},
    {"password", false},
}};
constexpr CallSignature scheduler_signature{
    .function_name = "Scheduler",
    .class_name = {},
    .positional = positional_parameters,
    .positional_only = 0,
    .required_positional = 0,
    .keyword_only = keyword_parameters,
};
constexpr std::size_t parameter_count = 4;

Result<std::optional<std::string>, PythonError> optional_text(PyObject* argument, std::string_view parameter) {
    if (argument == nullptr || argument == Py_None) return std::optional<std::string>();
    Result<std::string_view, PythonError> text = task_name_text(argument, parameter);
    MORVANE_RETURN_IF_FAILED(text);
    return std::optional<std::string>(std::string(text.value()));
}

PythonError refused_argument(std::string_view parameter, std::string_view message) {
    return note_argument_failure(parameter, PythonError::with_message(PyExc_ValueError, message));
}

// The str's characters as UTF-16 units (a character beyond U+FFFF as its surrogate pair, a lone
// surrogate as itself), written once into memory of their own.
Result<std::optional<SecretUnits>, PythonError> optional_secret(PyObject* argument, std::string_view parameter) {
    if (argument == nullptr || argument == Py_None) return std::optional<SecretUnits>();
    if (!PyUnicode_Check(argument)) return Err{note_argument_failure(parameter, type_mismatch(argument, &PyUnicode_Type))};
    const Py_ssize_t length = PyUnicode_GET_LENGTH(argument);
    const int kind = PyUnicode_KIND(argument);
    const void* data = PyUnicode_DATA(argument);
    std::size_t units = 0;
    for (Py_ssize_t index = 0; index < length; ++index) {
        const Py_UCS4 character = PyUnicode_READ(kind, data, index);
        if (character == 0) return Err{refused_argument(parameter, "embedded null character")};
        units += character > 0xFFFF ? 2 : 1;
    }
    std::optional<SecretUnits> secret = SecretUnits::with_length(units);
    if (!secret) return Err{PythonError::with_message(PyExc_MemoryError, "no memory for the password")};
    char16_t* out = secret->data();
    for (Py_ssize_t index = 0; index < length; ++index) {
        const Py_UCS4 character = PyUnicode_READ(kind, data, index);
        if (character > 0xFFFF) {
            *out++ = static_cast<char16_t>(0xD800 + ((character - 0x10000) >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
        } else {
            *out++ = static_cast<char16_t>(character);
        }
    }
    return secret;
}

// tp_new's tuple and dict as a fast call's arguments: the positional ones in place, the keyword
// values after them, their names in a tuple. More than the signature takes is left for the
// binder to refuse, with CPython's message.
Result<void, PythonError> bind(PyObject* args, PyObject* kwargs, std::array<PyObject*, parameter_count>& slots) {
    const Py_ssize_t positional = PyTuple_GET_SIZE(args);
    const Py_ssize_t keywords = kwargs == nullptr ? 0 : PyDict_GET_SIZE(kwargs);
    std::array<PyObject*, 8> stack{};
    if (positional + keywords > static_cast<Py_ssize_t>(stack.size())) {
        const std::string message = "Scheduler() takes at most " + std::to_string(parameter_count) + " arguments (" +
                                    std::to_string(positional + keywords) + " given)";
        return Err{PythonError::with_message(PyExc_TypeError, message)};
    }
    for (Py_ssize_t index = 0; index < positional; ++index) stack[index] = PyTuple_GET_ITEM(args, index);
    PyRef names;
    if (keywords > 0) {
        names = PyRef::steal(PyTuple_New(keywords));
        if (!names) return Err{fetch_error()};
        Py_ssize_t position = 0;
        Py_ssize_t index = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &value)) {
            PyTuple_SET_ITEM(names.get(), index, Py_NewRef(key));
            stack[positional + index] = value;
            ++index;
        }
    }
    return bind_arguments(scheduler_signature, stack.data(), positional, names.get(), slots);
}

}  // namespace

Result<ConnectionTarget, PythonError> connection_arguments(PyObject* args, PyObject* kwargs) {
    std::array<PyObject*, parameter_count> slots{};
    MORVANE_RETURN_IF_FAILED(bind(args, kwargs, slots));
    Result<std::optional<std::string>, PythonError> computer = optional_text(slots[0], "computer");
    MORVANE_RETURN_IF_FAILED(computer);
    Result<std::optional<std::string>, PythonError> user = optional_text(slots[1], "user");
    MORVANE_RETURN_IF_FAILED(user);
    Result<std::optional<std::string>, PythonError> domain = optional_text(slots[2], "domain");
    MORVANE_RETURN_IF_FAILED(domain);
    Result<std::optional<SecretUnits>, PythonError> password = optional_secret(slots[3], "password");
    MORVANE_RETURN_IF_FAILED(password);
    if (user.value() && !password.value()) return Err{refused_argument("password", "a user needs a password")};
    if (!user.value() && password.value()) return Err{refused_argument("user", "a password needs a user")};
    if (!user.value() && domain.value()) return Err{refused_argument("user", "a domain needs a user")};
    return ConnectionTarget{std::move(computer).value(), std::move(user).value(), std::move(domain).value(),
                            std::move(password).value()};
}

}  // namespace morvane::module
