// access_check.cpp: a caller's access to an object under its security descriptor.
#include "security/security_descriptor.hpp"

namespace winemu {

bool access_granted(const SecurityDescriptor& descriptor, const Caller&, std::uint32_t) {
    return !descriptor.dacl.has_value();
}

SecurityDescriptor default_security(const Caller& owner, bool) {
    SecurityDescriptor descriptor;
    descriptor.owner = owner.sid;
    return descriptor;
}

}  // namespace winemu
