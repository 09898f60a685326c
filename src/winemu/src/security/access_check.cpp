// access_check.cpp: a caller's access to an object under its security descriptor, as AccessCheck
// decides it with the file mapping of the generic rights.
//
// Each right asked for is decided by the first ACE of the DACL, in order, that applies to the
// caller and names the right: a deny ACE refuses it, an allow ACE grants it. AccessCheck walks the
// DACL once, granting from allow ACEs and failing at a deny ACE that names a right not yet
// granted, which decides each right the same way. The owner holds READ_CONTROL and WRITE_DAC
// before the walk, unless the DACL speaks for the owner through OWNER RIGHTS ACEs.
#include "security/security_descriptor.hpp"

#include <algorithm>

namespace winemu {
namespace {

constexpr const char* owner_rights_sid = "S-1-3-4";

std::uint32_t mapped(std::uint32_t mask) {
    std::uint32_t result = mask & ~(generic_all | generic_read | generic_write | generic_execute);
    if ((mask & generic_all) != 0) result |= file_all_access;
    if ((mask & generic_read) != 0) result |= file_generic_read;
    if ((mask & generic_write) != 0) result |= file_generic_write;
    if ((mask & generic_execute) != 0) result |= file_generic_execute;
    return result;
}

bool is_callers(const Caller& caller, const std::string& sid) {
    return sid == caller.sid || std::find(caller.group_sids.begin(), caller.group_sids.end(), sid) != caller.group_sids.end();
}

// Allow and deny ACEs that apply to this object: not inherit-only, and not object ACEs that name
// an object type (AccessCheck without a type list passes those by).
bool checked(const Ace& ace) {
    if ((ace.flags & inherit_only_ace) != 0) return false;
    switch (ace.type) {
        case AceType::access_allowed:
        case AceType::access_denied: return true;
        case AceType::access_allowed_object:
        case AceType::access_denied_object: return ace.object_type.empty();
        default: return false;
    }
}

bool denies(const Ace& ace) {
    return ace.type == AceType::access_denied || ace.type == AceType::access_denied_object;
}

// The rights the caller holds, each decided by the first ACE that names it.
std::uint32_t held_rights(const SecurityDescriptor& descriptor, const Caller& caller) {
    if (!descriptor.dacl) return file_all_access | write_owner | delete_access | write_dac | read_control;
    const bool owner = !descriptor.owner.empty() && is_callers(caller, descriptor.owner);
    const auto& aces = *descriptor.dacl;
    const bool owner_rights_said = std::any_of(aces.begin(), aces.end(), [](const Ace& ace) {
        return checked(ace) && ace.sid == owner_rights_sid;
    });
    std::uint32_t granted = 0;
    std::uint32_t decided = 0;
    if (owner && !owner_rights_said) granted = decided = read_control | write_dac;
    for (const Ace& ace : aces) {
        if (!checked(ace)) continue;
        if (!is_callers(caller, ace.sid) && !(owner && ace.sid == owner_rights_sid)) continue;
        const std::uint32_t rights = mapped(ace.mask) & ~decided;
        if (!denies(ace)) granted |= rights;
        decided |= rights;
    }
    return granted;
}

}  // namespace

bool access_granted(const SecurityDescriptor& descriptor, const Caller& caller, std::uint32_t desired_access) {
    const std::uint32_t desired = mapped(desired_access & ~maximum_allowed);
    const std::uint32_t held = held_rights(descriptor, caller);
    // As AccessCheck, a request for nothing is refused; MAXIMUM_ALLOWED asks for any right.
    if (desired == 0) return (desired_access & maximum_allowed) != 0 && held != 0;
    return (desired & ~held) == 0;
}

}  // namespace winemu
