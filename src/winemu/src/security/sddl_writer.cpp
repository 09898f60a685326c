// sddl_writer.cpp: the canonical SDDL text of a security descriptor, as
// ConvertSecurityDescriptorToStringSecurityDescriptor writes it: owner, group, DACL, SACL; ACL
// flags "PARAI"; ACE flags and single-bit rights in ascending bit order; a right of several bits by
// its name when the mask is exactly that right; hex ("0x1200a9") when no codes cover the mask.
#include "security/security_descriptor.hpp"

#include <cstdio>
#include <span>

#include "security/sddl_codes.hpp"
#include "security/sid_text.hpp"

namespace winemu {
namespace {

const AceTypeCode& type_code(AceType type) {
    for (const AceTypeCode& known : ace_type_codes) {
        if (known.type == type) return known;
    }
    return ace_type_codes[0];
}

void write_rights(std::string& out, std::uint32_t mask, AceType type) {
    if (mask == 0) return;
    for (const RightCode& right : combined_right_codes) {
        if (mask == right.mask) {
            out += right.code;
            return;
        }
    }
    const auto& codes = type == AceType::system_mandatory_label ? std::span<const RightCode>(label_right_codes)
                                                                 : std::span<const RightCode>(single_right_codes);
    std::uint32_t covered = 0;
    for (const RightCode& right : codes) covered |= right.mask;
    if ((mask & ~covered) != 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(mask));
        out += hex;
        return;
    }
    for (const RightCode& right : codes) {
        if ((mask & right.mask) != 0) out += right.code;
    }
}

void write_acl(std::string& out, char letter, const SecurityDescriptor& descriptor, bool dacl) {
    const std::uint16_t present = dacl ? se_dacl_present : se_sacl_present;
    const auto& acl = dacl ? descriptor.dacl : descriptor.sacl;
    if ((descriptor.control & present) == 0 && !acl) return;
    out += letter;
    out += ':';
    for (const AclFlagCode& flag : acl_flag_codes) {
        if ((descriptor.control & (dacl ? flag.dacl_control : flag.sacl_control)) != 0) out += flag.code;
    }
    if (!acl) {
        out += null_acl_code;
        return;
    }
    for (const Ace& ace : *acl) {
        out += '(';
        out += type_code(ace.type).code;
        out += ';';
        for (const FlagCode& flag : ace_flag_codes) {
            if ((ace.flags & flag.flag) != 0) out += flag.code;
        }
        out += ';';
        write_rights(out, ace.mask, ace.type);
        out += ';';
        out += ace.object_type;
        out += ';';
        out += ace.inherited_object_type;
        out += ';';
        out += sid_sddl_text(ace.sid);
        out += ')';
    }
}

}  // namespace

std::u16string write_sddl(const SecurityDescriptor& descriptor) {
    std::string out;
    if (!descriptor.owner.empty()) out += "O:" + sid_sddl_text(descriptor.owner);
    if (!descriptor.group.empty()) out += "G:" + sid_sddl_text(descriptor.group);
    write_acl(out, 'D', descriptor, true);
    write_acl(out, 'S', descriptor, false);
    return std::u16string(out.begin(), out.end());
}

}  // namespace winemu
