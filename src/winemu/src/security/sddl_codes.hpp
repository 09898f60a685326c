// sddl_codes.hpp: the letter codes of SDDL (ACE types, ACE flags, access rights, ACL flags) and
// their values, in the order Windows writes them.
#pragma once

#include <array>
#include <cstdint>

#include "security/security_descriptor.hpp"

namespace winemu {

struct AceTypeCode {
    char code[3];
    AceType type;
    bool in_dacl;  // allow and deny ACEs belong to a DACL, audit, alarm and label ACEs to a SACL
    bool object;   // an object ACE, which may name object GUIDs
};

// The ACE types a task's or a folder's descriptor can hold; the conditional, resource-attribute,
// scoped-policy and trust-label types ("XA", "RA", "SP", "TL"...) are refused.
inline constexpr std::array<AceTypeCode, 9> ace_type_codes{{
    {"A", AceType::access_allowed, true, false},
    {"D", AceType::access_denied, true, false},
    {"OA", AceType::access_allowed_object, true, true},
    {"OD", AceType::access_denied_object, true, true},
    {"AU", AceType::system_audit, false, false},
    {"AL", AceType::system_alarm, false, false},
    {"OU", AceType::system_audit_object, false, true},
    {"OL", AceType::system_alarm_object, false, true},
    {"ML", AceType::system_mandatory_label, false, false},
}};

struct FlagCode {
    char code[3];
    std::uint8_t flag;
};

// ACE flags, in ascending bit order as Windows writes them ("OICINPIOIDSAFA").
inline constexpr std::array<FlagCode, 7> ace_flag_codes{{
    {"OI", object_inherit_ace},
    {"CI", container_inherit_ace},
    {"NP", no_propagate_inherit_ace},
    {"IO", inherit_only_ace},
    {"ID", inherited_ace},
    {"SA", successful_access_ace},
    {"FA", failed_access_ace},
}};

struct RightCode {
    char code[3];
    std::uint32_t mask;
};

// Single-bit rights, in ascending bit order as Windows writes them ("CCDCLCSWRPWPDTLOCRSDRCWDWO",
// "GAGXGWGR").
inline constexpr std::array<RightCode, 17> single_right_codes{{
    {"CC", 0x00000001}, {"DC", 0x00000002}, {"LC", 0x00000004}, {"SW", 0x00000008},
    {"RP", 0x00000010}, {"WP", 0x00000020}, {"DT", 0x00000040}, {"LO", 0x00000080},
    {"CR", 0x00000100}, {"SD", delete_access}, {"RC", read_control}, {"WD", write_dac},
    {"WO", write_owner}, {"GA", generic_all}, {"GX", generic_execute}, {"GW", generic_write},
    {"GR", generic_read},
}};

// Rights of several bits that Windows writes by name when a mask is exactly one of them.
inline constexpr std::array<RightCode, 7> combined_right_codes{{
    {"FA", file_all_access}, {"FR", file_generic_read}, {"FW", file_generic_write},
    {"FX", file_generic_execute}, {"KA", 0x000F003F}, {"KR", 0x00020019}, {"KW", 0x00020006},
}};

// KX (KEY_EXECUTE) is KR's value: read only, KR is written.
inline constexpr RightCode key_execute_code{"KX", 0x00020019};

// The mandatory label's policy bits, read and written in a label ACE (ML).
inline constexpr std::array<RightCode, 3> label_right_codes{{
    {"NW", 0x00000001}, {"NR", 0x00000002}, {"NX", 0x00000004},
}};

// ACL flags in the order Windows writes them ("D:PARAI").
struct AclFlagCode {
    const char* code;
    std::uint16_t dacl_control;
    std::uint16_t sacl_control;
};
inline constexpr std::array<AclFlagCode, 3> acl_flag_codes{{
    {"P", se_dacl_protected, se_sacl_protected},
    {"AR", se_dacl_auto_inherit_req, se_sacl_auto_inherit_req},
    {"AI", se_dacl_auto_inherited, se_sacl_auto_inherited},
}};

inline constexpr const char* null_acl_code = "NO_ACCESS_CONTROL";

}  // namespace winemu
