// interned_names.cpp: the interned "__all__", "__name__" and "add_note".
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

}  // namespace

PyObject* name_all() { return interned(all_cell, "__all__"); }
PyObject* name_name() { return interned(name_cell, "__name__"); }
PyObject* name_add_note() { return interned(add_note_cell, "add_note"); }

}  // namespace morvane::module
