// definition_argument.hpp: the arguments of register_task: the definition, given as XML text or
// as an object that writes it (a task model's to_xml()), and the registration mode.
#pragma once

#include <string_view>

#include "module/py_ref.hpp"
#include "module/python_error.hpp"
#include "runtime/result.hpp"
#include "scheduler/task_registration.hpp"

namespace morvane::module {

// The UTF-8 text of a definition and the str that holds it, kept alive with the text: a
// to_xml() result has no other owner. Reads as the text (the scheduler operation takes a view);
// ends, like every PyRef, with the interpreter lock held.
class DefinitionText {
public:
    DefinitionText(PyRef holder, std::string_view text) noexcept : holder_(std::move(holder)), text_(text) {}
    operator std::string_view() const noexcept { return text_; }

private:
    PyRef holder_;
    std::string_view text_;
};

// A str (or subclass) is the text itself. Anything else must have a to_xml() method, called here,
// under the interpreter lock, that returns a str; what it raises is the error. A missing method
// or a result that is no str is a TypeError. Every failure carries the note naming the parameter.
Result<DefinitionText, PythonError> definition_argument(PyObject* argument, std::string_view parameter);

// An empty slot is create-or-update; otherwise an int (a RegisterMode member, or a plain int) of
// the value of CREATE, UPDATE or CREATE_OR_UPDATE: another type is a TypeError, another value a
// ValueError, with the note.
Result<scheduler::RegisterMode, PythonError> register_mode_argument(PyObject* argument, std::string_view parameter);

}  // namespace morvane::module
