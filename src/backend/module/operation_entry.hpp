// operation_entry.hpp: the generic body of every catalogue row, its entry point as a module
// function or as a Scheduler method, and the method tables made from a list of rows.
#pragma once

#include <array>
#include <tuple>
#include <type_traits>

#include "module/call_frame.hpp"
#include "module/module_functions.hpp"
#include "module/operation_arguments.hpp"
#include "module/operation_row.hpp"
#include "module/operation_runner.hpp"

namespace morvane::module {

template <class Row, class Calls>
inline constexpr CallSignature row_signature = call_signature<Row>(Calls::class_name);

// Binds the call and converts its arguments under the interpreter lock (a malformed call never
// reaches the scheduler), runs the scheduler operation through the runner, and makes the result
// or hands on the exception. A result maker that takes a second argument is given the object the
// call came through (the Scheduler, or None for a module function), so that what it makes can
// reach the service the same way again.
template <class Row, class Calls>
ObjectResult operation_body(const Runner<Calls>& runner, PyObject* origin, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    std::array<PyObject*, Row::parameters.size()> slots{};
    MORVANE_RETURN_IF_FAILED(bind_arguments(row_signature<Row, Calls>, args, nargs, kwnames, slots));
    auto arguments = Row::arguments(slots);
    MORVANE_RETURN_IF_FAILED(arguments);
    auto outcome = runner.run([&](scheduler::SchedulerConnection& connection) {
        return std::apply([&](const auto&... values) { return Row::operation(connection, values...); },
                          arguments.value());
    });
    MORVANE_RETURN_IF_FAILED(outcome);
    if constexpr (std::is_void_v<typename decltype(outcome)::value_type>) {
        return Row::result();
    } else if constexpr (requires { Row::result(outcome.value(), origin); }) {
        return Row::result(outcome.value(), origin);
    } else {
        return Row::result(outcome.value());
    }
}

// METH_FASTCALL | METH_KEYWORDS, with METH_STATIC for a module function.
template <class Row, class Calls>
PyObject* operation_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* const origin = Calls::class_name.empty() ? Py_None : self;
    return call_frame(
        [&] { return operation_body<Row>(Runner<Calls>{Calls::of(self)}, origin, args, nargs, kwnames); });
}

// Whether the PyMethodDef doc carries the row's docstring after its text signature (without it,
// __doc__ is None and only __text_signature__ is set).
enum class Docstrings { omitted, shown };

// A list of rows: the operations of one extension module, or of Scheduler.
template <class... Rows>
struct Catalogue {
    // One PyMethodDef per row, in order, then the extra definitions given.
    template <class Calls, Docstrings docs, class... Extra>
    static std::array<PyMethodDef, sizeof...(Rows) + sizeof...(Extra)> method_table(Extra... extra) {
        constexpr bool is_method = !Calls::class_name.empty();
        constexpr bool with_doc = docs == Docstrings::shown;
        return {PyMethodDef{Rows::name, as_method(operation_entry<Rows, Calls>), Calls::method_flags,
                            text_signature<Rows, is_method, with_doc>.data()}...,
                extra...};
    }
};

template <class First, class Second>
struct JoinedCatalogue;
template <class... First, class... Second>
struct JoinedCatalogue<Catalogue<First...>, Catalogue<Second...>> {
    using type = Catalogue<First..., Second...>;
};

}  // namespace morvane::module
