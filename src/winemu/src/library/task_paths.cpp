// task_paths.cpp: where a task or a folder of the library lives on disk.
#include "library/task_paths.hpp"

#include <clocale>
#include <cwctype>
#include <vector>

#include <locale.h>

#include "base/text_units.hpp"
#include "base/utf.hpp"

namespace winemu {
namespace {

// Longest escaped piece per file name: leaves room for the prefix under NAME_MAX (255).
constexpr std::size_t longest_piece = 240;

locale_t unicode_ctype() {
    // Made once and kept for the process: towupper_l needs it for every fold.
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

char16_t fold_unit(char16_t unit) {
    if (unit < 0x80) return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
    const locale_t locale = unicode_ctype();
    if (is_surrogate(unit) || locale == static_cast<locale_t>(nullptr)) return unit;
    const auto upper = static_cast<std::wint_t>(towupper_l(static_cast<wint_t>(unit), locale));
    // A unit maps to one unit, as in Windows' table; anything else keeps its own value.
    if (upper > 0xFFFF || is_surrogate(static_cast<char16_t>(upper))) return unit;
    return static_cast<char16_t>(upper);
}

bool is_kept_ascii(char16_t unit) {
    return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z') || (unit >= u'0' && unit <= u'9');
}

// Appends the escaped form of the character starting at text[i] (text already folded) to out;
// advances i. Folding never touches a surrogate, so pairs are found as in the text given.
void append_escaped(std::string& out, std::u16string_view text, std::size_t& i) {
    static constexpr char hex[] = "0123456789ABCDEF";
    const char16_t unit = text[i++];
    if (is_kept_ascii(unit)) {
        out.push_back(static_cast<char>(unit));
    } else if (unit < 0x80) {
        out += {'~', hex[unit >> 4], hex[unit & 0xF]};
    } else if (starts_surrogate_pair(text, i - 1)) {
        const char32_t low = text[i++];
        append_utf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00));
    } else if (is_surrogate(unit)) {
        // Names never hold one (refused earlier); escape it anyway rather than write invalid UTF-8.
        out += {'~', 'S', hex[unit >> 12], hex[(unit >> 8) & 0xF], hex[(unit >> 4) & 0xF], hex[unit & 0xF]};
    } else {
        append_utf8(out, unit);
    }
}

// The escaped folded element split into pieces that each fit one file name. Each character is
// escaped into a small buffer first, so that a character never straddles two pieces.
std::vector<std::string> escaped_pieces(std::u16string_view element) {
    std::vector<std::string> pieces(1);
    std::string character;
    for (std::size_t i = 0; i < element.size();) {
        character.clear();
        append_escaped(character, element, i);
        if (pieces.back().size() + character.size() > longest_piece) pieces.emplace_back();
        pieces.back() += character;
    }
    return pieces;
}

}  // namespace

std::u16string fold_case(std::u16string_view element) {
    std::u16string folded(element);
    for (char16_t& unit : folded) unit = fold_unit(unit);
    return folded;
}

namespace {

EntryName entry_of_folded(std::u16string_view folded) {
    std::vector<std::string> pieces = escaped_pieces(folded);
    EntryName name;
    name.escaped = std::move(pieces.back());
    pieces.pop_back();
    for (std::string& piece : pieces) name.pieces.push_back("c." + std::move(piece));
    return name;
}

}  // namespace

EntryName entry_name(std::u16string_view element) { return entry_of_folded(fold_case(element)); }

ResolvedTaskPath::ResolvedTaskPath(PathElements path) : elements(std::move(path)) {
    entries.reserve(elements.size());
    for (const std::u16string& element : elements) {
        const std::u16string element_folded = fold_case(element);
        entries.push_back(entry_of_folded(element_folded));
        folded.append(1, u'\\').append(element_folded);
    }
    if (elements.empty()) folded = u"\\";
}

std::optional<std::u16string> element_from_escaped(std::string_view escaped) {
    const auto hex = [](std::string_view digits) -> std::optional<unsigned> {
        unsigned value = 0;
        for (const char digit : digits) {
            if (digit >= '0' && digit <= '9') value = value * 16 + static_cast<unsigned>(digit - '0');
            else if (digit >= 'A' && digit <= 'F') value = value * 16 + static_cast<unsigned>(digit - 'A' + 10);
            else return std::nullopt;
        }
        return value;
    };
    std::string utf8;  // the characters beyond ASCII stand as their UTF-8, which utf16_from_utf8 checks
    std::u16string element;
    const auto flush = [&] {
        auto decoded = utf16_from_utf8(utf8);
        utf8.clear();
        if (decoded) element += *decoded;
        return decoded.has_value();
    };
    for (std::size_t i = 0; i < escaped.size();) {
        const char c = escaped[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            utf8.push_back(c);
            ++i;
            continue;
        }
        if (!flush()) return std::nullopt;
        if (is_kept_ascii(static_cast<char16_t>(c))) {
            element.push_back(static_cast<char16_t>(c));
            ++i;
        } else if (c == '~' && escaped.substr(i + 1, 1) == "S") {
            const auto unit = hex(escaped.substr(i + 2, 4));
            if (!unit || escaped.size() < i + 6) return std::nullopt;
            element.push_back(static_cast<char16_t>(*unit));
            i += 6;
        } else if (c == '~') {
            const auto unit = hex(escaped.substr(i + 1, 2));
            if (!unit || escaped.size() < i + 3) return std::nullopt;
            element.push_back(static_cast<char16_t>(*unit));
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    if (!flush() || element.empty()) return std::nullopt;
    return element;
}

}  // namespace winemu
