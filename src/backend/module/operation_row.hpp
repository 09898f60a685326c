// operation_row.hpp: what a row of the operation catalogue declares, and what is made from it at
// compile time: the signature record its calls are bound against, and its text signature with
// its docstring, as Argument Clinic makes both from one declaration.
/* === A row ===
A row is a struct with:
    name         const char*: the function's and the method's __name__ (a literal)
    parameters   std::array<Parameter, N>: the parameters in order, keyword-only ones last
    doc          the docstring after the text signature
    arguments    BoundSlots -> Arguments<...>: the argument converters (operation_arguments.hpp)
    operation    the scheduler operation, called as operation(connection, arguments...)
    result       the result maker: result(value), or result() for an operation that answers nothing
One generic body (operation_entry.hpp) serves every row, as a module function and as a method.
*/
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "module/call_signature.hpp"

namespace morvane::module {

struct Parameter {
    std::string_view name;
    std::string_view default_text = {};  // as the text signature shows it; empty: required
    bool keyword_only = false;
};

inline constexpr Parameter task_name_parameter{.name = "task_name"};

namespace detail {

template <class Row>
consteval std::size_t positional_count() {
    return static_cast<std::size_t>(
        std::ranges::count_if(Row::parameters, [](const Parameter& parameter) { return !parameter.keyword_only; }));
}

template <class Row>
inline constexpr auto positional_names = [] {
    std::array<std::string_view, positional_count<Row>()> names{};
    for (std::size_t index = 0; index < names.size(); ++index) names[index] = Row::parameters[index].name;
    return names;
}();

template <class Row>
inline constexpr auto keyword_only_parameters = [] {
    std::array<KeywordOnlyParameter, Row::parameters.size() - positional_count<Row>()> keywords{};
    for (std::size_t index = 0; index < keywords.size(); ++index) {
        const Parameter& parameter = Row::parameters[positional_count<Row>() + index];
        keywords[index] = {.name = parameter.name, .required = parameter.default_text.empty()};
    }
    return keywords;
}();

template <class Row>
consteval std::size_t required_positional_count() {
    std::size_t required = 0;
    while (required < positional_count<Row>() && Row::parameters[required].default_text.empty()) ++required;
    return required;
}

// The text signature "name($self, a, b='x', *, c=None)\n--\n\n", then the docstring when with_doc.
template <class Row>
constexpr std::string doc_text(bool as_method, bool with_doc) {
    std::string text = std::string(Row::name) + "(" + (as_method ? "$self" : "");
    bool starred = false;
    for (const Parameter& parameter : Row::parameters) {
        if (text.back() != '(') text += ", ";
        if (parameter.keyword_only && !std::exchange(starred, true)) text += "*, ";
        text += parameter.name;
        if (!parameter.default_text.empty()) text += std::string("=") + std::string(parameter.default_text);
    }
    return text + ")\n--\n\n" + std::string(with_doc ? Row::doc : "");
}

// The same as a NUL-terminated array, to be kept in static storage.
template <class Row, bool AsMethod, bool WithDoc>
consteval auto make_doc() {
    std::array<char, doc_text<Row>(AsMethod, WithDoc).size() + 1> chars{};
    std::ranges::copy(doc_text<Row>(AsMethod, WithDoc), chars.begin());
    return chars;
}

}  // namespace detail

// The record a call of the row is bound against; its messages name "<class>.<name>()" when
// class_name is not empty.
template <class Row>
constexpr CallSignature call_signature(std::string_view class_name) {
    static_assert(std::ranges::is_partitioned(Row::parameters, [](const Parameter& p) { return !p.keyword_only; }),
                  "keyword-only parameters come after the positional ones");
    static_assert(std::ranges::count_if(Row::parameters, [](const Parameter& p) {
                      return !p.keyword_only && p.default_text.empty();
                  }) == detail::required_positional_count<Row>(),
                  "a required positional parameter may not follow one with a default");
    return CallSignature{
        .function_name = Row::name,
        .class_name = class_name,
        .positional = detail::positional_names<Row>,
        .positional_only = /*none*/ 0,
        .required_positional = detail::required_positional_count<Row>(),
        .keyword_only = detail::keyword_only_parameters<Row>,
    };
}

// The PyMethodDef doc: the text signature (with $self for a method), then the docstring when
// with_doc; a NUL-terminated array of static storage, made at compile time.
template <class Row, bool AsMethod, bool WithDoc>
inline constexpr auto text_signature = detail::make_doc<Row, AsMethod, WithDoc>();

}  // namespace morvane::module
