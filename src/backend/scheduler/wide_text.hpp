// wide_text.hpp: UTF-16 text as the platform hands it over, and its conversions from and to UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "scheduler/platform.hpp"

namespace morvane::scheduler {

// UTF-16 code units in the platform's own character type (16 bits on every platform).
using WideText = std::basic_string<WCHAR>;
using WideView = std::basic_string_view<WCHAR>;

// UTF-8 to UTF-16. A code point above U+FFFF becomes a surrogate pair; U+0000 is kept like any
// other character. Python's str never hands over invalid UTF-8, but should some arrive, each
// maximal invalid sequence becomes U+FFFD, so nothing undecodable reaches the platform.
WideText utf16_from_utf8(std::string_view text);

// UTF-16 to UTF-8. A surrogate pair becomes one character; each unpaired surrogate becomes U+FFFD.
std::string utf8_from_utf16(WideView text);

// The text without its trailing white space (U+0009 to U+000D and U+0020); leading and inner white
// space stays.
WideView trim_trailing_white_space(WideView text) noexcept;

// A copy of the text, or nothing when memory for it cannot be had.
std::optional<WideText> try_copy(WideView text) noexcept;

// Views of platform strings that may be null: a null pointer is the empty text.
inline WideView wide_view(const WCHAR* units, std::size_t count) noexcept {
    return units == nullptr ? WideView() : WideView(units, count);
}

}  // namespace morvane::scheduler
