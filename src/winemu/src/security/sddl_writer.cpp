// sddl_writer.cpp: the canonical SDDL text of a security descriptor.
#include "security/security_descriptor.hpp"

namespace winemu {

std::u16string write_sddl(const SecurityDescriptor&) { return u""; }

}  // namespace winemu
