// utf.hpp: UTF-8 and UTF-16 conversions for winemu's texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace winemu {

// Appends the UTF-8 encoding of one code point (U+D800 to U+DFFF are the caller's to keep out).
void append_utf8(std::string& out, char32_t code_point);

// Strict: invalid UTF-8 gives nothing.
std::optional<std::u16string> utf16_from_utf8(std::string_view text);
// Lenient: each invalid UTF-8 sequence becomes U+FFFD (one per offending byte).
std::u16string utf16_from_utf8_lossy(std::string_view text);
// Lenient, for the control API's optional C texts: a null pointer gives nothing.
std::optional<std::u16string> utf16_from_optional_utf8(const char* text);
// Strict: an unpaired surrogate gives nothing.
std::optional<std::string> utf8_from_utf16(std::u16string_view text);
// Lenient: each unpaired surrogate becomes U+FFFD.
std::string utf8_from_utf16_lossy(std::u16string_view text);

}  // namespace winemu
