// utf.cpp: UTF-8 and UTF-16 conversions for winemu's texts.
#include "base/utf.hpp"

#include <cstdint>

#include "base/text_units.hpp"

namespace winemu {
namespace {

constexpr char32_t replacement_character = 0xFFFD;

void append_utf16(std::u16string& out, char32_t code_point) {
    if (code_point < 0x10000) {
        out.push_back(static_cast<char16_t>(code_point));
        return;
    }
    const char32_t offset = code_point - 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

// Decodes one code point starting at text[i]; advances i. Nothing for an invalid sequence
// (bad lead byte, truncated, overlong, surrogate or beyond U+10FFFF).
std::optional<char32_t> decode_utf8(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t length = 0;
    char32_t code_point = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code_point = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code_point = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code_point = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto unit = static_cast<std::uint8_t>(text[i + k]);
        if ((unit & 0xC0) != 0x80) return std::nullopt;
        code_point = (code_point << 6) | (unit & 0x3F);
    }
    if (code_point < minimum || code_point > 0x10FFFF) return std::nullopt;
    if (code_point >= 0xD800 && code_point <= 0xDFFF) return std::nullopt;
    i += length;
    return code_point;
}

// Decodes one code point starting at text[i]; advances i. Nothing for an unpaired surrogate.
std::optional<char32_t> decode_utf16(std::u16string_view text, std::size_t& i) {
    const char16_t unit = text[i++];
    if (is_low_surrogate(unit)) return std::nullopt;
    if (!is_high_surrogate(unit)) return unit;
    if (i == text.size() || !is_low_surrogate(text[i])) return std::nullopt;
    const char16_t low = text[i++];
    return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
}

// What a conversion does with a sequence that does not decode: gives up, or puts U+FFFD in place
// of the unit that starts it and decodes on from the next unit.
enum class OnInvalid { fail, replace };

template <typename Output, typename Input, typename Decode, typename Append>
std::optional<Output> transcode(Input text, OnInvalid on_invalid, Decode decode, Append append) {
    Output out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        if (const auto code_point = decode(text, i)) {
            append(out, *code_point);
            continue;
        }
        if (on_invalid == OnInvalid::fail) return std::nullopt;
        i = start + 1;
        append(out, replacement_character);
    }
    return out;
}

std::optional<std::u16string> to_utf16(std::string_view text, OnInvalid on_invalid) {
    return transcode<std::u16string>(text, on_invalid, decode_utf8, append_utf16);
}

std::optional<std::string> to_utf8(std::u16string_view text, OnInvalid on_invalid) {
    return transcode<std::string>(text, on_invalid, decode_utf16, append_utf8);
}

}  // namespace

void append_utf8(std::string& out, char32_t code_point) {
    if (code_point < 0x80) {
        out.push_back(static_cast<char>(code_point));
    } else if (code_point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    }
}

std::optional<std::u16string> utf16_from_utf8(std::string_view text) { return to_utf16(text, OnInvalid::fail); }

std::u16string utf16_from_utf8_lossy(std::string_view text) { return *to_utf16(text, OnInvalid::replace); }

std::optional<std::u16string> utf16_from_optional_utf8(const char* text) {
    if (!text) return std::nullopt;
    return utf16_from_utf8_lossy(text);
}

std::optional<std::string> utf8_from_utf16(std::u16string_view text) { return to_utf8(text, OnInvalid::fail); }

std::string utf8_from_utf16_lossy(std::u16string_view text) { return *to_utf8(text, OnInvalid::replace); }

}  // namespace winemu
