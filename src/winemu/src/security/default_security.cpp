// default_security.cpp: the security descriptor a new task or folder gets.
#include "security/security_descriptor.hpp"

namespace winemu {

// Full control for Administrators, SYSTEM and the registering account; a folder also lets
// authenticated users read it, so that they can browse to the tasks they may see. An object an
// elevated administrator creates is owned by Administrators, as Windows does for files.
SecurityDescriptor default_security(const Caller& owner, bool folder) {
    SecurityDescriptor descriptor;
    descriptor.owner = owner.administrator ? administrators_sid : owner.sid;
    descriptor.group = local_system_sid;
    descriptor.control = se_dacl_present;
    std::vector<Ace> dacl;
    const auto full_control = [&](const std::string& sid) {
        for (const Ace& ace : dacl) {
            if (ace.sid == sid) return;
        }
        dacl.push_back(Ace{AceType::access_allowed, 0, file_all_access, {}, {}, sid});
    };
    full_control(administrators_sid);
    full_control(local_system_sid);
    if (!owner.sid.empty()) full_control(owner.sid);
    if (folder) dacl.push_back(Ace{AceType::access_allowed, 0, file_generic_read, {}, {}, authenticated_users_sid});
    descriptor.dacl = std::move(dacl);
    return descriptor;
}

}  // namespace winemu
