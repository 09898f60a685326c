// interned_names.hpp: the attribute and method names the module looks up, made once per process.
#pragma once

#include "module/python.hpp"

namespace morvane::module {

// Borrowed references to interned str objects, kept until the process ends and shared by every
// module object. Made under the interpreter lock on first use.
PyObject* name_all();                // "__all__"
PyObject* name_name();               // "__name__"
PyObject* name_add_note();           // "add_note"
PyObject* name_to_xml();             // "to_xml"
PyObject* name_from_xml();           // "from_xml"
PyObject* name_task_definition();    // "TaskDefinition"
PyObject* name_definition_module();  // "morvane.definition"

}  // namespace morvane::module
