// caller.cpp: the caller of a connection, as the accounts of its library know it.
#include "accounts/caller.hpp"

#include "accounts/account_file.hpp"
#include "accounts/account_lookup.hpp"

namespace winemu {

HResultOr<Account> caller_account(const FollowedLibrary& library) {
    auto accounts = load_accounts(library.path());
    if (!accounts.ok()) return HResultOr<Account>::failure(accounts.error());
    return caller_among(accounts.value(), library);
}

HResultOr<Account> caller_among(const ComputerAccounts& known, const FollowedLibrary& library) {
    if (const auto& name = library.account()) {
        auto account = find_account(known, *name);
        // An account taken away since Connect logged it on can no longer call.
        if (!account) return HResultOr<Account>::failure(E_ACCESSDENIED);
        return std::move(*account);
    }
    return user_account(known, *known.user_with_rid(*known.caller));
}

// A caller whose accounts cannot be read is counted as no one in particular: Everyone, and no
// administrator, so that a damaged file never grants anything.
Caller connection_caller(const FollowedLibrary& library) {
    auto account = caller_account(library);
    if (!account.ok()) return Caller{"", library.account().value_or(""), everyone_sid, {everyone_sid}, false};
    Account& found = account.value();
    return Caller{std::move(found.domain), std::move(found.name), std::move(found.sid), std::move(found.group_sids),
                  found.administrator};
}

}  // namespace winemu
