// log_on.cpp: logging an account on with its password.
#include "accounts/log_on.hpp"

#include "accounts/account_file.hpp"
#include "accounts/account_lookup.hpp"
#include "accounts/password_hash.hpp"
#include "accounts/secret_text.hpp"
#include "base/utf.hpp"

namespace winemu {

HResultOr<std::string> log_on(const std::string& library, std::u16string_view user, std::u16string_view domain,
                              std::u16string_view password) {
    const auto failure = [](HRESULT code) { return HResultOr<std::string>::failure(code); };
    auto accounts = load_accounts(library);
    if (!accounts.ok()) return failure(accounts.error());
    std::string name = utf8_from_utf16_lossy(user);
    if (!domain.empty() && name.find('\\') == std::string::npos) name = utf8_from_utf16_lossy(domain) + "\\" + name;
    const auto account = find_account(accounts.value(), name);
    if (!account || account->kind == AccountKind::group) return failure(HRESULT_FROM_WIN32(ERROR_NONE_MAPPED));
    // Only a local user has a password to log on with; a service account is never logged on so.
    std::string secret = utf8_from_utf16_lossy(password);
    const bool matches = account->kind == AccountKind::user && !account->password_hash.empty() &&
                         verify_password(account->password_hash, secret);
    wipe_secret(secret);
    if (!matches) return failure(HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE));
    return account->name;
}

}  // namespace winemu
