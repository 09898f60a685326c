// utf8_text.cpp: UTF-8 forms of Python texts and type names, for messages.
#include "module/utf8_text.hpp"

#include "module/py_ref.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {
namespace {

// Drops the exception a failed call left pending: the caller falls back to another text.
void discard_pending() { PyRef dropped = PyRef::steal(PyErr_GetRaisedException()); }

}  // namespace

std::string utf8_with_replacement(PyObject* text) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size)) return std::string(utf8, static_cast<size_t>(size));
    discard_pending();

    PyRef encoded = PyRef::steal(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
    PyRef decoded = encoded ? PyRef::steal(PyUnicode_DecodeUTF8(PyBytes_AS_STRING(encoded.get()),
                                                                PyBytes_GET_SIZE(encoded.get()), "replace"))
                            : PyRef();
    const char* replaced = decoded ? PyUnicode_AsUTF8AndSize(decoded.get(), &size) : nullptr;
    if (replaced == nullptr) {
        discard_pending();
        throw InternalFailure("could not convert a text to UTF-8 for a message");
    }
    return std::string(replaced, static_cast<size_t>(size));
}

std::string qualified_type_name(PyTypeObject* type) {
    PyRef name = PyRef::steal(PyType_GetQualName(type));
    if (!name) {
        discard_pending();
        return "<failed to extract type name>";
    }
    return utf8_with_replacement(name.get());
}

std::string type_name_or_empty(PyTypeObject* type) {
    PyRef name = PyRef::steal(PyType_GetName(type));
    if (!name) {
        discard_pending();
        return {};
    }
    return utf8_with_replacement(name.get());
}

}  // namespace morvane::module
