// log_on.cpp: logging an account on with its password.
#include "accounts/log_on.hpp"

#include "base/utf.hpp"

namespace winemu {

// Until the computer keeps accounts, any name logs on as itself, whatever the password.
HResultOr<std::string> log_on(const std::string& library, std::u16string_view user, std::u16string_view domain,
                              std::u16string_view password) {
    (void)library;
    (void)domain;
    (void)password;
    if (user.empty()) return HResultOr<std::string>::failure(HRESULT_FROM_WIN32(ERROR_NONE_MAPPED));
    return utf8_from_utf16_lossy(user);
}

}  // namespace winemu
