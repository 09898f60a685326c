// utf8_text.hpp: Python texts as UTF-8 for the module's messages, lone surrogates included.
#pragma once

#include <string>

#include "module/python.hpp"

namespace morvane::module {

// The UTF-8 form of a str. A lone surrogate, which has none, comes out as U+FFFD for each byte of
// its "surrogatepass" encoding (three per surrogate), so a message can always quote the text.
std::string utf8_with_replacement(PyObject* text);

// The qualified name of a type ("int", "Outer.Inner"; never with its module), or
// "<failed to extract type name>" when the type will not say.
std::string qualified_type_name(PyTypeObject* type);

// The short name of a type (PyType_GetName), or nothing when the type will not say.
std::string type_name_or_empty(PyTypeObject* type);

}  // namespace morvane::module
