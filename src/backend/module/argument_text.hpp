// argument_text.hpp: bound arguments as UTF-8 text views, and the note that names a parameter.
#pragma once

#include <string_view>

#include "module/python_error.hpp"
#include "runtime/result.hpp"

namespace morvane::module {

// A borrowed view of the UTF-8 form that a str (or str subclass) keeps inside itself: valid while
// the object lives, also with the interpreter lock released; may be empty or hold NUL characters.
// Anything else is the type-mismatch TypeError; a lone surrogate is the interpreter's
// UnicodeEncodeError. Copies nothing.
Result<std::string_view, PythonError> extract_text(PyObject* argument);

// Adds "while processing '<parameter>'" to the error's exception through its add_note method, and
// returns the same error. A failing add_note is ignored: the error is returned without the note.
PythonError note_argument_failure(std::string_view parameter, PythonError error);

// extract_text for a parameter, with the note on failure.
Result<std::string_view, PythonError> argument_text(PyObject* argument, std::string_view parameter);

// argument_text for a task name, which must hold no NUL character: the service reads a name only
// up to its first NUL, so "Backup\0old" would act on the task "Backup". ValueError
// "embedded null character", with the note.
Result<std::string_view, PythonError> task_name_text(PyObject* argument, std::string_view parameter);

}  // namespace morvane::module
