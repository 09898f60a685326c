// text_units.hpp: tests on the units of a text that the service's parts share: surrogates, ASCII case.
#pragma once

#include <cstddef>
#include <string_view>

namespace winemu {

inline bool is_high_surrogate(char16_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool is_low_surrogate(char16_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool is_surrogate(char16_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDFFF; }

// Whether text[i] and text[i + 1] form a surrogate pair.
inline bool starts_surrogate_pair(std::u16string_view text, std::size_t i) noexcept {
    return is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1]);
}

// Where the first surrogate without its partner is (text that is no valid UTF-16), else npos.
inline std::size_t first_unpaired_surrogate(std::u16string_view text) noexcept {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (starts_surrogate_pair(text, i)) {
            ++i;
        } else if (is_surrogate(text[i])) {
            return i;
        }
    }
    return std::u16string_view::npos;
}

namespace detail {
template <typename Char>
bool equal_ignoring_ascii_case(std::basic_string_view<Char> a, std::basic_string_view<Char> b) noexcept {
    const auto lower = [](Char c) { return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + ('a' - 'A')) : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}
}  // namespace detail

// Equal when ASCII letters match in either case, as Windows compares host, variable and
// encoding names.
inline bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) noexcept {
    return detail::equal_ignoring_ascii_case(a, b);
}
inline bool equal_ignoring_ascii_case(std::u16string_view a, std::u16string_view b) noexcept {
    return detail::equal_ignoring_ascii_case(a, b);
}

}  // namespace winemu
