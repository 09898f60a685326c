// security_descriptor.hpp: a security descriptor as the service keeps it for a task or a folder,
// its SDDL text both ways, and the access check of a caller against it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/caller.hpp"
#include "com/hresult_or.hpp"

namespace winemu {

// ACE types (ACE_HEADER.AceType), those a task's or a folder's descriptor can hold.
enum class AceType : std::uint8_t {
    access_allowed = 0x00,
    access_denied = 0x01,
    system_audit = 0x02,
    system_alarm = 0x03,
    access_allowed_object = 0x05,
    access_denied_object = 0x06,
    system_audit_object = 0x07,
    system_alarm_object = 0x08,
    system_mandatory_label = 0x11,
};

// ACE flags (ACE_HEADER.AceFlags).
inline constexpr std::uint8_t object_inherit_ace = 0x01;
inline constexpr std::uint8_t container_inherit_ace = 0x02;
inline constexpr std::uint8_t no_propagate_inherit_ace = 0x04;
inline constexpr std::uint8_t inherit_only_ace = 0x08;
inline constexpr std::uint8_t inherited_ace = 0x10;
inline constexpr std::uint8_t successful_access_ace = 0x40;
inline constexpr std::uint8_t failed_access_ace = 0x80;

// Security descriptor control flags (SECURITY_DESCRIPTOR_CONTROL).
inline constexpr std::uint16_t se_dacl_present = 0x0004;
inline constexpr std::uint16_t se_sacl_present = 0x0010;
inline constexpr std::uint16_t se_dacl_auto_inherit_req = 0x0100;
inline constexpr std::uint16_t se_sacl_auto_inherit_req = 0x0200;
inline constexpr std::uint16_t se_dacl_auto_inherited = 0x0400;
inline constexpr std::uint16_t se_sacl_auto_inherited = 0x0800;
inline constexpr std::uint16_t se_dacl_protected = 0x1000;
inline constexpr std::uint16_t se_sacl_protected = 0x2000;

// Access rights.
inline constexpr std::uint32_t delete_access = 0x00010000;
inline constexpr std::uint32_t read_control = 0x00020000;
inline constexpr std::uint32_t write_dac = 0x00040000;
inline constexpr std::uint32_t write_owner = 0x00080000;
inline constexpr std::uint32_t synchronize = 0x00100000;
inline constexpr std::uint32_t maximum_allowed = 0x02000000;
inline constexpr std::uint32_t generic_all = 0x10000000;
inline constexpr std::uint32_t generic_execute = 0x20000000;
inline constexpr std::uint32_t generic_write = 0x40000000;
inline constexpr std::uint32_t generic_read = 0x80000000;
// The file mapping of the generic rights, which the Task Scheduler uses for tasks and folders.
inline constexpr std::uint32_t file_generic_read = 0x00120089;
inline constexpr std::uint32_t file_generic_write = 0x00120116;
inline constexpr std::uint32_t file_generic_execute = 0x001200A0;
inline constexpr std::uint32_t file_all_access = 0x001F01FF;

// One access control entry. The SID is its text ("S-1-5-32-544"); the object GUIDs, of the object
// ACE types only, are lowercase "xxxxxxxx-xxxx-..." texts or empty.
struct Ace {
    AceType type = AceType::access_allowed;
    std::uint8_t flags = 0;
    std::uint32_t mask = 0;
    std::string object_type;
    std::string inherited_object_type;
    std::string sid;
    bool operator==(const Ace&) const = default;
};

// A security descriptor: owner and group SIDs (empty: none), control flags, and the two ACLs.
// A DACL is present when control holds se_dacl_present; present without a list it is the NULL
// DACL (SDDL's NO_ACCESS_CONTROL), which grants everything. The same for the SACL.
struct SecurityDescriptor {
    std::string owner;
    std::string group;
    std::uint16_t control = 0;
    std::optional<std::vector<Ace>> dacl;
    std::optional<std::vector<Ace>> sacl;
    bool operator==(const SecurityDescriptor&) const = default;
};

// The domain SID of the emulated computer: its local accounts (LA, LG) are under it.
inline constexpr const char* computer_domain_sid = "S-1-5-21-0-0-0";

// Reads the SDDL text of a security descriptor as ConvertStringSecurityDescriptorToSecurityDescriptor
// does, or answers the HRESULT Windows gives (HRESULT_FROM_WIN32 of ERROR_INVALID_PARAMETER,
// ERROR_INVALID_SID, ERROR_INVALID_ACL, ERROR_NONE_MAPPED). Bounded in length and in ACEs.
HResultOr<SecurityDescriptor> read_sddl(std::u16string_view text);

// The canonical text Windows gives back (ConvertSecurityDescriptorToStringSecurityDescriptor):
// aliases for well-known SIDs, letter codes for rights where Windows writes them, hex otherwise.
std::u16string write_sddl(const SecurityDescriptor& descriptor);

// Whether `caller` gets every right of `desired_access` (generic rights mapped as for files), as
// AccessCheck decides it from the DACL and the owner.
bool access_granted(const SecurityDescriptor& descriptor, const Caller& caller, std::uint32_t desired_access);

// What Windows gives a new task (folder false) or folder registered by `owner`.
SecurityDescriptor default_security(const Caller& owner, bool folder);

}  // namespace winemu
