// function_bodies.hpp: the entry points of the module's four functions, for the function table.
#pragma once

#include "module/python.hpp"

namespace morvane::module {

// METH_FASTCALL | METH_KEYWORDS entry points. self is NULL (METH_STATIC) and ignored.
PyObject* register_xml_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* delete_task_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* run_task_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* task_exists_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace morvane::module
