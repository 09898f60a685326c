// password_hashing_works.cpp: winemu_password_hashing_works, the control API's check that the
// accounts' hashing library is linked in and answers.
#include <winemu/control.h>

#include "accounts/password_hash.hpp"

extern "C" WINEMU_API int winemu_password_hashing_works(void) {
    const std::optional<std::string> hash = winemu::hash_password("morvane");
    return hash && winemu::verify_password(*hash, "morvane") && !winemu::verify_password(*hash, "Morvane") ? 1 : 0;
}
