// log_on.hpp: logging an account on with its password, as LogonUser does for a computer's accounts.
#pragma once

#include <string>
#include <string_view>

#include "com/hresult_or.hpp"

namespace winemu {

// Logs `user` (a name as Windows takes it: "name", "COMPUTER\name", ".\name", or `domain` naming
// the computer) on to the computer whose disk is the task library `library`, with `password`.
// Gives the account's name as that library's accounts keep it, or the HRESULT Windows gives:
// HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE) for a wrong password, HRESULT_FROM_WIN32(ERROR_NONE_MAPPED)
// for an account the computer does not know.
HResultOr<std::string> log_on(const std::string& library, std::u16string_view user, std::u16string_view domain,
                              std::u16string_view password);

}  // namespace winemu
