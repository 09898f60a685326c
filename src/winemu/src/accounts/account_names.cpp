// account_names.cpp: account names as Windows takes them.
#include "accounts/account_names.hpp"

#include "base/utf.hpp"
#include "library/task_paths.hpp"

namespace winemu {

bool valid_account_name(std::string_view name, std::size_t longest) {
    const auto units = utf16_from_utf8(name);
    if (!units || units->empty() || units->size() > longest) return false;
    bool only_dots_and_spaces = true;
    for (const char16_t unit : *units) {
        if (unit < 0x20 || unit == 0x7F || std::u16string_view(u"\"/\\[]:;|=,+*?<>@").find(unit) != std::u16string_view::npos)
            return false;
        if (unit != u'.' && unit != u' ') only_dots_and_spaces = false;
    }
    return !only_dots_and_spaces;
}

bool same_account_name(std::string_view a, std::string_view b) {
    return fold_case(utf16_from_utf8_lossy(a)) == fold_case(utf16_from_utf8_lossy(b));
}

QualifiedName split_account_name(std::string_view text) {
    const std::size_t separator = text.rfind('\\');
    if (separator == std::string_view::npos) return {std::nullopt, std::string(text)};
    return {std::string(text.substr(0, separator)), std::string(text.substr(separator + 1))};
}

bool is_sid_text(std::string_view text) {
    if (text.size() < 5 || (text[0] != 'S' && text[0] != 's') || text.substr(1, 3) != "-1-") return false;
    bool digit_seen = false;
    for (const char c : text.substr(4)) {
        if (c == '-') {
            if (!digit_seen) return false;
            digit_seen = false;
        } else if (c >= '0' && c <= '9') {
            digit_seen = true;
        } else {
            return false;
        }
    }
    return digit_seen;
}

}  // namespace winemu
