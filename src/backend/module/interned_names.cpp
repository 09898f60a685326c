// interned_names.cpp: the interned names the module looks up.
#include "module/interned_names.hpp"

#include <string_view>

#include "module/once_cell.hpp"
#include "module/python_error.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {
namespace {

PyObject* interned(OnceCell& cell, std::string_view text) {
    return cell.get([text] {
        PyObject* name = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
        if (name == nullptr) throw InternalFailure("could not make an interned name: " + fetch_error().describe());
        PyUnicode_InternInPlace(&name);
        return name;
    });
}

constinit OnceCell all_cell;
constinit OnceCell name_cell;
constinit OnceCell add_note_cell;
constinit OnceCell to_xml_cell;
constinit OnceCell from_xml_cell;
constinit OnceCell task_definition_cell;
constinit OnceCell definition_module_cell;

}  // namespace

PyObject* name_all() { return interned(all_cell, "__all__"); }
PyObject* name_name() { return interned(name_cell, "__name__"); }
PyObject* name_add_note() { return interned(add_note_cell, "add_note"); }
PyObject* name_to_xml() { return interned(to_xml_cell, "to_xml"); }
PyObject* name_from_xml() { return interned(from_xml_cell, "from_xml"); }
PyObject* name_task_definition() { return interned(task_definition_cell, "TaskDefinition"); }
PyObject* name_definition_module() { return interned(definition_module_cell, "morvane.definition"); }

}  // namespace morvane::module
