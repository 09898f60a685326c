// datetime_api.cpp: datetime_api, from the capsule datetime.datetime_CAPI kept in a OnceCell.
#include "module/datetime_api.hpp"

#include "module/once_cell.hpp"
#include "module/py_ref.hpp"
#include "module/python_error.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {
namespace {

constinit OnceCell capsule_cell;

PyObject* load_capsule() {
    PyRef datetime = PyRef::steal(PyImport_ImportModule("datetime"));
    if (!datetime) throw InternalFailure("could not import datetime: " + fetch_error().describe());
    PyObject* capsule = PyObject_GetAttrString(datetime.get(), "datetime_CAPI");
    if (capsule == nullptr || !PyCapsule_IsValid(capsule, PyDateTime_CAPSULE_NAME)) {
        PyRef dropped = PyRef::steal(capsule);
        throw InternalFailure("datetime offers no C API: " + fetch_error().describe());
    }
    return capsule;
}

}  // namespace

const PyDateTime_CAPI& datetime_api() {
    PyObject* capsule = capsule_cell.get(load_capsule);
    return *static_cast<PyDateTime_CAPI*>(PyCapsule_GetPointer(capsule, PyDateTime_CAPSULE_NAME));
}

}  // namespace morvane::module
