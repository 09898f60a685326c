// argument_text.cpp: extract_text, the task-name rule and the failure note.
#include "module/argument_text.hpp"

#include <string>

#include "module/interned_names.hpp"
#include "module/type_mismatch.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {

Result<std::string_view, PythonError> extract_text(PyObject* argument) {
    if (!PyUnicode_Check(argument)) return Err{type_mismatch(argument, &PyUnicode_Type)};
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(argument, &size);
    if (utf8 == nullptr) return Err{fetch_error()};
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

PythonError note_argument_failure(std::string_view parameter, PythonError error) {
    const std::string text = "while processing '" + std::string(parameter) + "'";
    PyRef note = PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (!note) throw InternalFailure("could not make the note of an argument failure: " + fetch_error().describe());

    PyObject* method = name_add_note();
    // A spare slot in front of self lets the call borrow args[-1] instead of copying the vector.
    PyObject* call[] = {nullptr, error.exception(), note.get()};
    PyRef outcome = PyRef::steal(PyObject_VectorcallMethod(method, call + 1, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    if (!outcome) {
        PyRef dropped = PyRef::steal(PyErr_GetRaisedException());
    }
    return error;
}

Result<std::string_view, PythonError> argument_text(PyObject* argument, std::string_view parameter) {
    Result<std::string_view, PythonError> text = extract_text(argument);
    if (!text) return Err{note_argument_failure(parameter, std::move(text).error())};
    return text;
}

Result<std::string_view, PythonError> task_name_text(PyObject* argument, std::string_view parameter) {
    Result<std::string_view, PythonError> text = argument_text(argument, parameter);
    if (text && text.value().find('\0') != std::string_view::npos) {
        PythonError refusal = PythonError::with_message(PyExc_ValueError, "embedded null character");
        return Err{note_argument_failure(parameter, std::move(refusal))};
    }
    return text;
}

}  // namespace morvane::module
