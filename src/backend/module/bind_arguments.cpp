// bind_arguments.cpp: the generic binder of a fast call against a CallSignature.
#include <optional>
#include <vector>

#include "module/binding_messages.hpp"
#include "module/call_signature.hpp"
#include "module/py_ref.hpp"

namespace morvane::module {
namespace {

constexpr std::size_t not_found = static_cast<std::size_t>(-1);

// Exact, case-sensitive comparison of UTF-8 bytes; lengths first, as most names differ there.
bool same_name(std::string_view parameter, std::string_view keyword) noexcept {
    return parameter.size() == keyword.size() && parameter == keyword;
}

std::size_t find_keyword_only(const CallSignature& signature, std::string_view keyword) noexcept {
    for (std::size_t index = 0; index < signature.keyword_only.size(); ++index)
        if (same_name(signature.keyword_only[index].name, keyword)) return index;
    return not_found;
}

std::size_t find_positional(const CallSignature& signature, std::string_view keyword) noexcept {
    for (std::size_t index = 0; index < signature.positional.size(); ++index)
        if (same_name(signature.positional[index], keyword)) return index;
    return not_found;
}

// The keyword's UTF-8 text; an empty optional when it has none (a lone surrogate), with the
// interpreter's exception about it dropped.
std::optional<std::string_view> keyword_text(PyObject* keyword) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(keyword, &size);
    if (utf8 == nullptr) {
        PyRef dropped = PyRef::steal(PyErr_GetRaisedException());
        return std::nullopt;
    }
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

Result<void, PythonError> bind_keywords(const CallSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames, std::span<PyObject*> slots) {
    const std::size_t positional_count = signature.positional.size();
    std::vector<std::string_view> positional_only_passed;  // no storage until a name is appended

    const Py_ssize_t keyword_count = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t index = 0; index < keyword_count; ++index) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, index);
        PyObject* value = args[nargs + index];
        const std::optional<std::string_view> text = keyword_text(keyword);
        if (!text) return Err{binding_messages::unexpected_keyword(signature, keyword)};

        if (const std::size_t match = find_keyword_only(signature, *text); match != not_found) {
            PyObject*& slot = slots[positional_count + match];
            if (slot != nullptr) return Err{binding_messages::multiple_values(signature, *text)};
            slot = value;
            continue;
        }
        if (positional_count == 0) return Err{binding_messages::unexpected_keyword(signature, keyword)};

        const std::size_t match = find_positional(signature, *text);
        if (match == not_found) return Err{binding_messages::unexpected_keyword(signature, keyword)};
        if (match < signature.positional_only) {
            positional_only_passed.push_back(*text);
            continue;
        }
        if (slots[match] != nullptr) return Err{binding_messages::multiple_values(signature, *text)};
        slots[match] = value;
    }
    if (!positional_only_passed.empty())
        return Err{binding_messages::positional_only_as_keyword(signature, positional_only_passed)};
    return {};
}

}  // namespace

Result<void, PythonError> bind_arguments(const CallSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames, std::span<PyObject*> slots) {
    const std::size_t positional_count = signature.positional.size();
    const std::size_t given = static_cast<std::size_t>(nargs);

    if (args != nullptr) {
        for (std::size_t index = 0; index < given && index < positional_count; ++index) slots[index] = args[index];
    }
    if (given > positional_count) return Err{binding_messages::too_many_positional(signature, nargs)};

    if (kwnames != nullptr) {
        Result<void, PythonError> bound = bind_keywords(signature, args, nargs, kwnames, slots);
        if (!bound) return bound;
    }

    if (given < signature.required_positional) {
        std::vector<std::string_view> names;
        for (std::size_t index = 0; index < signature.required_positional; ++index)
            if (slots[index] == nullptr) names.push_back(signature.positional[index]);
        if (!names.empty()) return Err{binding_messages::missing(signature, "positional", names)};
    }

    std::vector<std::string_view> keyword_names;
    for (std::size_t index = 0; index < signature.keyword_only.size(); ++index) {
        const KeywordOnlyParameter& parameter = signature.keyword_only[index];
        if (parameter.required && slots[positional_count + index] == nullptr) keyword_names.push_back(parameter.name);
    }
    if (!keyword_names.empty()) return Err{binding_messages::missing(signature, "keyword", keyword_names)};
    return {};
}

}  // namespace morvane::module
