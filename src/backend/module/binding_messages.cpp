// binding_messages.cpp: the messages of a malformed call. Built only when a call fails.
#include "module/binding_messages.hpp"

#include <string>

#include "module/utf8_text.hpp"

namespace morvane::module::binding_messages {
namespace {

// "run_task()", or "Class.method()" for a function of a class.
std::string display_name(const CallSignature& signature) {
    std::string name;
    if (!signature.class_name.empty()) {
        name += signature.class_name;
        name += '.';
    }
    name += signature.function_name;
    name += "()";
    return name;
}

// 'a' / 'a' and 'b' / 'a', 'b', and 'c': a comma after each name but the last when there are more
// than two, and " and " before the last.
std::string quoted_list(std::span<const std::string_view> names) {
    std::string list;
    for (std::size_t index = 0; index < names.size(); ++index) {
        if (index > 0) {
            if (names.size() > 2) list += ',';
            list += index + 1 == names.size() ? " and " : " ";
        }
        list += '\'';
        list += names[index];
        list += '\'';
    }
    return list;
}

PythonError type_error(const std::string& message) { return PythonError::with_message(PyExc_TypeError, message); }

// str() of a keyword object, or a placeholder naming its type when str() raises; that exception is
// reported as unraisable, since the call is already failing for another reason.
std::string keyword_rendering(PyObject* keyword) {
    if (PyRef text = PyRef::steal(PyObject_Str(keyword))) return utf8_with_replacement(text.get());
    PyErr_WriteUnraisable(keyword);
    const std::string type_name = type_name_or_empty(Py_TYPE(keyword));
    return type_name.empty() ? "<unprintable object>" : "<unprintable " + type_name + " object>";
}

}  // namespace

PythonError too_many_positional(const CallSignature& signature, Py_ssize_t given) {
    const std::size_t most = signature.positional.size();
    const std::size_t least = signature.required_positional;
    std::string message = display_name(signature) + " takes ";
    if (least < most) message += "from " + std::to_string(least) + " to ";
    message += std::to_string(most) + " positional arguments but " + std::to_string(given) +
               (given == 1 ? " was" : " were") + " given";
    return type_error(message);
}

PythonError unexpected_keyword(const CallSignature& signature, PyObject* keyword) {
    return type_error(display_name(signature) + " got an unexpected keyword argument '" + keyword_rendering(keyword) +
                      "'");
}

PythonError multiple_values(const CallSignature& signature, std::string_view keyword) {
    return type_error(display_name(signature) + " got multiple values for argument '" + std::string(keyword) + "'");
}

PythonError positional_only_as_keyword(const CallSignature& signature, std::span<const std::string_view> names) {
    return type_error(display_name(signature) +
                      " got some positional-only arguments passed as keyword arguments: " + quoted_list(names));
}

PythonError missing(const CallSignature& signature, std::string_view kind, std::span<const std::string_view> names) {
    return type_error(display_name(signature) + " missing " + std::to_string(names.size()) + " required " +
                      std::string(kind) + (names.size() == 1 ? " argument: " : " arguments: ") + quoted_list(names));
}

}  // namespace morvane::module::binding_messages
