// definition_argument.cpp: definition_argument and register_mode_argument.
#include "module/definition_argument.hpp"

#include <string>

#include "module/argument_text.hpp"
#include "module/interned_names.hpp"
#include "module/type_mismatch.hpp"
#include "module/utf8_text.hpp"

namespace morvane::module {
namespace {

// The definition's text, borrowed from a str the DefinitionText keeps.
Result<DefinitionText, PythonError> text_of(PyRef text, std::string_view parameter) {
    Result<std::string_view, PythonError> view = argument_text(text.get(), parameter);
    MORVANE_RETURN_IF_FAILED(view);
    return DefinitionText(std::move(text), view.value());
}

std::string type_of(PyObject* object) { return "'" + qualified_type_name(Py_TYPE(object)) + "'"; }

PythonError noted(std::string_view parameter, PyObject* type, const std::string& message) {
    return note_argument_failure(parameter, PythonError::with_message(type, message));
}

}  // namespace

Result<DefinitionText, PythonError> definition_argument(PyObject* argument, std::string_view parameter) {
    if (PyUnicode_Check(argument)) return text_of(PyRef::borrow(argument), parameter);

    PyObject* found = nullptr;
    if (PyObject_GetOptionalAttr(argument, name_to_xml(), &found) < 0)
        return Err{note_argument_failure(parameter, fetch_error())};
    PyRef method = PyRef::steal(found);
    if (!method)
        return Err{
            noted(parameter, PyExc_TypeError, type_of(argument) + " object is not a str and has no to_xml() method")};
    PyRef written = PyRef::steal(PyObject_CallNoArgs(method.get()));
    if (!written) return Err{note_argument_failure(parameter, fetch_error())};
    if (!PyUnicode_Check(written.get()))
        return Err{noted(parameter, PyExc_TypeError,
                         qualified_type_name(Py_TYPE(argument)) + ".to_xml() returned " + type_of(written.get()) +
                             ", not a str")};
    return text_of(std::move(written), parameter);
}

Result<scheduler::RegisterMode, PythonError> register_mode_argument(PyObject* argument, std::string_view parameter) {
    using scheduler::RegisterMode;
    if (argument == nullptr) return RegisterMode::create_or_update;
    if (!PyLong_Check(argument)) return Err{note_argument_failure(parameter, type_mismatch(argument, &PyLong_Type))};
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(argument, &overflow);
    if (value == -1 && overflow == 0 && PyErr_Occurred()) return Err{note_argument_failure(parameter, fetch_error())};
    for (RegisterMode mode : {RegisterMode::create, RegisterMode::update, RegisterMode::create_or_update})
        if (overflow == 0 && value == static_cast<long>(mode)) return mode;
    PyRef shown = PyRef::steal(PyObject_Repr(argument));
    if (!shown) return Err{note_argument_failure(parameter, fetch_error())};
    return Err{noted(parameter, PyExc_ValueError,
                     std::string(parameter) +
                         " must be RegisterMode.CREATE (2), UPDATE (4) or CREATE_OR_UPDATE (6), not " +
                         utf8_with_replacement(shown.get()))};
}

}  // namespace morvane::module
