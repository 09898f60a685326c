// py_ref.hpp: PyRef, the owner of one strong reference to a Python object.
#pragma once

#include <utility>

#include "module/python.hpp"

namespace morvane::module {

// Gives up one strong reference, on a thread that holds the interpreter lock. On a thread without
// a thread state it does nothing: that is a thread the interpreter's exit is ending, unwinding
// towards the call frame (see thread_exit.hpp), and the reference is left to the interpreter.
void release_reference(PyObject* object) noexcept;

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
        if (this == &other) return *this;
        // The new value is in place before the old one is released, whose finaliser may look.
        PyObject* old = std::exchange(object_, std::exchange(other.object_, nullptr));
        if (old != nullptr) release_reference(old);
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() {
        if (object_ != nullptr) release_reference(object_);
    }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Hands the reference to the caller, who must give it up.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

private:
    explicit PyRef(PyObject* owned) noexcept : object_(owned) {}
    PyObject* object_ = nullptr;
};

}  // namespace morvane::module
