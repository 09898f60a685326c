// wide_text.cpp: UTF-8 and UTF-16 conversions, trimming and copying of platform texts.
#include "scheduler/wide_text.hpp"

#include <cstdint>
#include <new>

namespace morvane::scheduler {
namespace {

constexpr char32_t replacement = 0xFFFD;

// The only place where code units change type: WCHAR is char16_t here and wchar_t on Windows.
WCHAR unit(std::uint32_t value) { return static_cast<WCHAR>(value); }
std::uint32_t value_of(WCHAR unit) { return static_cast<std::uint16_t>(unit); }

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// What a lead byte announces: the length of its sequence, its payload bits, and the range the
// code point must fall in (which rules out overlong forms and values above U+10FFFF).
struct Sequence {
    std::size_t length;
    char32_t bits;
    char32_t lowest;
    char32_t highest;
};

std::optional<Sequence> sequence_of(unsigned char lead) {
    if (lead < 0x80) return Sequence{1, lead, 0, 0x7F};
    if (lead >= 0xC2 && lead <= 0xDF) return Sequence{2, lead & 0x1Fu, 0x80, 0x7FF};
    if (lead >= 0xE0 && lead <= 0xEF) return Sequence{3, lead & 0x0Fu, 0x800, 0xFFFF};
    if (lead >= 0xF0 && lead <= 0xF4) return Sequence{4, lead & 0x07u, 0x10000, 0x10FFFF};
    return std::nullopt;
}

// Whether the first two bytes of a sequence can still lead to a valid code point: checking there
// makes a bad second byte end the invalid sequence after the lead, as Unicode's "maximal subpart"
// rule asks, instead of swallowing it.
bool second_byte_fits(const Sequence& sequence, char32_t bits_so_far) {
    const unsigned remaining_shift = 6 * static_cast<unsigned>(sequence.length - 2);
    if (bits_so_far < (sequence.lowest >> remaining_shift) || bits_so_far > (sequence.highest >> remaining_shift))
        return false;
    const bool surrogate = sequence.length == 3 && (bits_so_far >> 5) == 0x1B;  // 0xED 0xA0..0xBF
    return !surrogate;
}

// Decodes one code point at text[at]; advances `at` past it, or past the maximal invalid
// sequence (at least one byte) and yields U+FFFD.
char32_t decode_one(std::string_view text, std::size_t& at) {
    const std::optional<Sequence> sequence = sequence_of(static_cast<unsigned char>(text[at]));
    if (!sequence) {
        ++at;
        return replacement;
    }
    char32_t code = sequence->bits;
    std::size_t taken = 1;
    for (; taken < sequence->length && at + taken < text.size(); ++taken) {
        const auto byte = static_cast<unsigned char>(text[at + taken]);
        if (!is_continuation(byte)) break;
        const char32_t next = (code << 6) | (byte & 0x3Fu);
        if (taken == 1 && !second_byte_fits(*sequence, next)) break;
        code = next;
    }
    at += taken;
    return taken == sequence->length ? code : replacement;
}

void append_utf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool is_high_surrogate(std::uint32_t value) { return value >= 0xD800 && value <= 0xDBFF; }
bool is_low_surrogate(std::uint32_t value) { return value >= 0xDC00 && value <= 0xDFFF; }

bool is_trailing_white_space(WCHAR character) {
    const std::uint32_t value = value_of(character);
    return (value >= 0x09 && value <= 0x0D) || value == 0x20;
}

}  // namespace

WideText utf16_from_utf8(std::string_view text) {
    WideText out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const char32_t code = decode_one(text, at);
        if (code < 0x10000) {
            out += unit(code);
        } else {
            out += unit(0xD800 + ((code - 0x10000) >> 10));
            out += unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string utf8_from_utf16(WideView text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const std::uint32_t value = value_of(text[at]);
        if (is_high_surrogate(value) && at + 1 < text.size() && is_low_surrogate(value_of(text[at + 1]))) {
            append_utf8(out, 0x10000 + ((value - 0xD800) << 10) + (value_of(text[at + 1]) - 0xDC00));
            ++at;
        } else if (is_high_surrogate(value) || is_low_surrogate(value)) {
            append_utf8(out, replacement);
        } else {
            append_utf8(out, value);
        }
    }
    return out;
}

WideView trim_trailing_white_space(WideView text) noexcept {
    while (!text.empty() && is_trailing_white_space(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<WideText> try_copy(WideView text) noexcept {
    try {
        return WideText(text);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace morvane::scheduler
