// py_ref.hpp: PyRef, the owner of one strong reference to a Python object.
#pragma once

#include <utility>

#include "module/python.hpp"

namespace morvane::module {

// Owns one strong reference, given up exactly once. steal() takes over a reference the caller
// already owns (no Py_INCREF); borrow() takes a new one. The destructor decrements, so a PyRef
// may only end on a thread that holds the interpreter lock (attached, on a free-threaded build).
class PyRef {
public:
    PyRef() noexcept = default;
    static PyRef steal(PyObject* owned) noexcept { return PyRef(owned); }
    static PyRef borrow(PyObject* borrowed) noexcept { return PyRef(Py_XNewRef(borrowed)); }

    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) Py_XSETREF(object_, std::exchange(other.object_, nullptr));
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Hands the reference to the caller, who must give it up.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

private:
    explicit PyRef(PyObject* owned) noexcept : object_(owned) {}
    PyObject* object_ = nullptr;
};

}  // namespace morvane::module
