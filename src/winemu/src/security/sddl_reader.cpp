// sddl_reader.cpp: the SDDL text of a security descriptor read into its parts.
//
// The text is a sequence of parts "O:owner", "G:group", "D:flags(ace)(ace)...", "S:flags(ace)...",
// each at most once, in any order. As Windows reads it, a part runs up to the letter before the
// next ':' (or the end of the text). Everything is read in loops over the text; nothing the text
// holds can deepen a recursion, and the text, the ACLs' sizes and the SIDs are bounded.
#include "security/security_descriptor.hpp"

#include <cstddef>

#include "security/sddl_codes.hpp"
#include "security/sid_text.hpp"

namespace winemu {
namespace {

// Far above the longest text of a descriptor whose ACLs fit their 64 KiB.
constexpr std::size_t max_sddl_length = 1u << 20;
// An ACL's size is a 16-bit count of bytes: its header and its ACEs.
constexpr std::size_t max_acl_size = 0xFFFF;
constexpr std::size_t acl_header_size = 8;

using Reading = HResultOr<SecurityDescriptor>;
constexpr HRESULT invalid_parameter = HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
constexpr HRESULT invalid_acl = HRESULT_FROM_WIN32(error_invalid_acl);

// The text as ASCII, or nothing when a character is outside it (no SDDL token is).
bool same_code(std::u16string_view text, std::string_view code) {
    if (text.size() != code.size()) return false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (text[i] != static_cast<char16_t>(code[i])) return false;
    }
    return true;
}

bool starts_with_code(std::u16string_view text, std::string_view code) {
    return text.size() >= code.size() && same_code(text.substr(0, code.size()), code);
}

int hex_digit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Rights: empty (none), a number ("0x" hex, or decimal) of 32 bits, or letter codes.
std::optional<std::uint32_t> read_rights(std::u16string_view text) {
    std::uint64_t value = 0;
    if (text.empty()) return 0u;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        for (char16_t c : text.substr(2)) {
            const int digit = hex_digit(c);
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<std::uint64_t>(digit);
            if (value > 0xFFFFFFFFull) return std::nullopt;
        }
        return static_cast<std::uint32_t>(value);
    }
    if (text[0] >= u'0' && text[0] <= u'9') {
        for (char16_t c : text) {
            if (c < u'0' || c > u'9') return std::nullopt;
            value = value * 10 + static_cast<std::uint64_t>(c - u'0');
            if (value > 0xFFFFFFFFull) return std::nullopt;
        }
        return static_cast<std::uint32_t>(value);
    }
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::u16string_view code = text.substr(i, 2);
        bool known = false;
        const auto take = [&](const RightCode& right) {
            if (!known && same_code(code, right.code)) {
                mask |= right.mask;
                known = true;
            }
        };
        for (const RightCode& right : single_right_codes) take(right);
        for (const RightCode& right : combined_right_codes) take(right);
        for (const RightCode& right : label_right_codes) take(right);
        take(key_execute_code);
        if (!known) return std::nullopt;
    }
    return mask;
}

std::optional<std::uint8_t> read_ace_flags(std::u16string_view text) {
    std::uint8_t flags = 0;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::u16string_view code = text.substr(i, 2);
        bool known = false;
        for (const FlagCode& flag : ace_flag_codes) {
            if (same_code(code, flag.code)) {
                flags = static_cast<std::uint8_t>(flags | flag.flag);
                known = true;
            }
        }
        if (!known) return std::nullopt;
    }
    return flags;
}

// An object GUID: empty, or "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" kept in lowercase.
std::optional<std::string> read_guid(std::u16string_view text) {
    std::string guid;
    if (text.empty()) return guid;
    if (text.size() != 36) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash_place = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash_place) {
            if (text[i] != u'-') return std::nullopt;
            guid += '-';
            continue;
        }
        const int digit = hex_digit(text[i]);
        if (digit < 0) return std::nullopt;
        guid += "0123456789abcdef"[digit];
    }
    return guid;
}

// The byte size of an ACE as an ACL holds it: header and mask, object flags and GUIDs, SID.
std::size_t ace_size(const Ace& ace, bool object) {
    std::size_t size = 8 + sid_size(ace.sid);
    if (object) size += 4 + (ace.object_type.empty() ? 0 : 16) + (ace.inherited_object_type.empty() ? 0 : 16);
    return size;
}

// One ACE "type;flags;rights;object_guid;inherit_object_guid;sid", without its parentheses.
HResultOr<Ace> read_ace(std::u16string_view text, bool in_dacl, std::size_t& acl_size) {
    std::array<std::u16string_view, 6> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t semicolon = text.find(u';', start);
        if (count == fields.size()) return HResultOr<Ace>::failure(invalid_acl);
        fields[count++] = text.substr(start, semicolon == std::u16string_view::npos ? semicolon : semicolon - start);
        if (semicolon == std::u16string_view::npos) break;
        start = semicolon + 1;
    }
    if (count != fields.size()) return HResultOr<Ace>::failure(invalid_acl);

    const AceTypeCode* type = nullptr;
    for (const AceTypeCode& known : ace_type_codes) {
        if (same_code(fields[0], known.code)) type = &known;
    }
    if (type == nullptr || type->in_dacl != in_dacl) return HResultOr<Ace>::failure(invalid_acl);
    const auto flags = read_ace_flags(fields[1]);
    const auto mask = read_rights(fields[2]);
    auto object_type = read_guid(fields[3]);
    auto inherited_object_type = read_guid(fields[4]);
    if (!flags || !mask || !object_type || !inherited_object_type) return HResultOr<Ace>::failure(invalid_acl);
    if (!type->object && (!object_type->empty() || !inherited_object_type->empty()))
        return HResultOr<Ace>::failure(invalid_acl);
    auto sid = read_sid(fields[5]);
    if (!sid.ok()) return HResultOr<Ace>::failure(sid.error());

    Ace ace{type->type, *flags, *mask, std::move(*object_type), std::move(*inherited_object_type),
            std::move(sid.value())};
    acl_size += ace_size(ace, type->object);
    if (acl_size > max_acl_size) return HResultOr<Ace>::failure(invalid_acl);
    return ace;
}

// The text of a "D:" or "S:" part: its flags, then NO_ACCESS_CONTROL or its ACEs.
HRESULT read_acl(std::u16string_view text, bool dacl, SecurityDescriptor& descriptor) {
    std::uint16_t control = dacl ? se_dacl_present : se_sacl_present;
    bool null_acl = false;
    std::size_t at = 0;
    while (at < text.size() && text[at] != u'(') {
        const std::u16string_view rest = text.substr(at);
        if (!null_acl && starts_with_code(rest, null_acl_code)) {
            null_acl = true;
            at += std::string_view(null_acl_code).size();
            continue;
        }
        const AclFlagCode* flag = nullptr;
        for (const AclFlagCode& known : acl_flag_codes) {
            if (flag == nullptr && !null_acl && starts_with_code(rest, known.code)) flag = &known;
        }
        if (flag == nullptr) return invalid_parameter;
        control = static_cast<std::uint16_t>(control | (dacl ? flag->dacl_control : flag->sacl_control));
        at += std::string_view(flag->code).size();
    }
    std::vector<Ace> aces;
    std::size_t acl_size = acl_header_size;
    while (at < text.size()) {
        if (null_acl || text[at] != u'(') return invalid_parameter;
        const std::size_t close = text.find(u')', at);
        if (close == std::u16string_view::npos) return invalid_parameter;
        const std::u16string_view ace_text = text.substr(at + 1, close - at - 1);
        if (ace_text.find(u'(') != std::u16string_view::npos) return invalid_parameter;
        auto ace = read_ace(ace_text, dacl, acl_size);
        if (!ace.ok()) return ace.error();
        aces.push_back(std::move(ace.value()));
        at = close + 1;
    }
    descriptor.control = static_cast<std::uint16_t>(descriptor.control | control);
    auto& acl = dacl ? descriptor.dacl : descriptor.sacl;
    if (!null_acl) acl = std::move(aces);
    return S_OK;
}

}  // namespace

HResultOr<SecurityDescriptor> read_sddl(std::u16string_view text) {
    if (text.size() > max_sddl_length) return Reading::failure(invalid_parameter);
    SecurityDescriptor descriptor;
    bool seen_owner = false, seen_group = false, seen_dacl = false, seen_sacl = false;
    std::size_t at = 0;
    while (at < text.size()) {
        if (at + 1 >= text.size() || text[at + 1] != u':') return Reading::failure(invalid_parameter);
        const char16_t letter = text[at];
        const std::size_t start = at + 2;
        const std::size_t next_colon = text.find(u':', start);
        const std::size_t end = next_colon == std::u16string_view::npos ? text.size() : next_colon - 1;
        if (end < start) return Reading::failure(invalid_parameter);
        const std::u16string_view part = text.substr(start, end - start);
        at = end;

        bool* seen = letter == u'O' ? &seen_owner : letter == u'G' ? &seen_group
                   : letter == u'D' ? &seen_dacl : letter == u'S' ? &seen_sacl : nullptr;
        if (seen == nullptr || *seen) return Reading::failure(invalid_parameter);
        *seen = true;
        if (letter == u'O' || letter == u'G') {
            auto sid = read_sid(part);
            if (!sid.ok()) return Reading::failure(sid.error());
            (letter == u'O' ? descriptor.owner : descriptor.group) = std::move(sid.value());
            continue;
        }
        const HRESULT acl = read_acl(part, letter == u'D', descriptor);
        if (FAILED(acl)) return Reading::failure(acl);
    }
    return descriptor;
}

}  // namespace winemu
