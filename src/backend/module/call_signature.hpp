// call_signature.hpp: CallSignature, the static record of a function's parameters, and the generic
// binder that matches a fast call's arguments against it.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "module/python_error.hpp"
#include "runtime/result.hpp"

namespace morvane::module {

struct KeywordOnlyParameter {
    std::string_view name;
    bool required;
};

// What the binder knows of a function. Invariants: positional_only and required_positional are
// at most positional.size(). No signature takes surplus positional or keyword arguments.
struct CallSignature {
    std::string_view function_name;
    std::string_view class_name;  // empty for a module-level function
    std::span<const std::string_view> positional;
    std::size_t positional_only;
    std::size_t required_positional;
    std::span<const KeywordOnlyParameter> keyword_only;

    std::size_t parameter_count() const noexcept { return positional.size() + keyword_only.size(); }
};

// Copies borrowed argument pointers into slots (positional parameters first, then keyword-only
// ones; the caller passes them all empty, parameter_count() of them). Fails with the TypeError
// that CPython's own binders give for the first malformation met: too many positional
// arguments, an unexpected keyword, multiple values, positional-only passed as keyword, missing
// positional, missing keyword-only, in that order. Allocates nothing when it succeeds.
Result<void, PythonError> bind_arguments(const CallSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames, std::span<PyObject*> slots);

}  // namespace morvane::module
