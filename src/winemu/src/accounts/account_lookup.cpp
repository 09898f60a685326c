// account_lookup.cpp: accounts found by name or SID, the built-in ones included.
#include "accounts/account_lookup.hpp"

#include <algorithm>

#include "accounts/account_names.hpp"
#include "accounts/caller.hpp"
#include "base/text_units.hpp"

namespace winemu {

namespace {

// The accounts every computer has, with the SIDs Windows gives them.
struct BuiltIn {
    AccountKind kind;
    const char* domain;
    const char* name;
    const char* sid;
};
constexpr BuiltIn built_in_accounts[] = {
    {AccountKind::service, "NT AUTHORITY", "SYSTEM", local_system_sid},
    {AccountKind::service, "NT AUTHORITY", "LOCAL SERVICE", local_service_sid},
    {AccountKind::service, "NT AUTHORITY", "NETWORK SERVICE", network_service_sid},
    {AccountKind::group, "BUILTIN", "Administrators", administrators_sid},
    {AccountKind::group, "BUILTIN", "Users", users_sid},
    {AccountKind::group, "", "Everyone", everyone_sid},
    {AccountKind::group, "NT AUTHORITY", "INTERACTIVE", interactive_sid},
    {AccountKind::group, "NT AUTHORITY", "Authenticated Users", authenticated_users_sid},
};

Account built_in_account(const BuiltIn& built_in) {
    Account account{built_in.kind, built_in.domain, built_in.name, built_in.sid, {}, false, std::nullopt, {}};
    if (built_in.kind != AccountKind::service) return account;
    // SYSTEM is an administrator; the two service accounts are not.
    account.administrator = account.sid == local_system_sid;
    account.group_sids = {everyone_sid, authenticated_users_sid};
    account.group_sids.emplace_back(account.administrator ? administrators_sid : users_sid);
    return account;
}

Account group_account(const ComputerAccounts& accounts, const LocalGroup& group) {
    return {AccountKind::group, accounts.computer_name, group.name, accounts.sid_of(group.rid), {}, false, group.rid, {}};
}

// The computer's own accounts answer to "name", ".\name" and "COMPUTER\name".
bool names_computer(const ComputerAccounts& accounts, const std::optional<std::string>& domain) {
    return !domain || *domain == "." || same_account_name(*domain, accounts.computer_name);
}

}  // namespace

Account user_account(const ComputerAccounts& accounts, const LocalUser& user) {
    Account account{AccountKind::user, accounts.computer_name, user.name, accounts.sid_of(user.rid), {},
                    user.administrator, user.rid, user.password_hash};
    account.group_sids = {everyone_sid, interactive_sid, authenticated_users_sid, users_sid};
    if (user.administrator) account.group_sids.emplace_back(administrators_sid);
    for (const LocalGroup& group : accounts.groups)
        if (std::ranges::count(group.members, user.rid)) account.group_sids.push_back(accounts.sid_of(group.rid));
    return account;
}

std::vector<Account> all_accounts(const ComputerAccounts& accounts) {
    std::vector<Account> found;
    for (const BuiltIn& built_in : built_in_accounts) found.push_back(built_in_account(built_in));
    for (const LocalUser& user : accounts.users) found.push_back(user_account(accounts, user));
    for (const LocalGroup& group : accounts.groups) found.push_back(group_account(accounts, group));
    return found;
}

std::optional<Account> find_account(const ComputerAccounts& accounts, std::string_view text) {
    if (is_sid_text(text)) {
        for (Account& account : all_accounts(accounts))
            if (equal_ignoring_ascii_case(std::string_view(account.sid), text)) return std::move(account);
        return std::nullopt;
    }
    const QualifiedName name = split_account_name(text);
    if (name.name.empty()) return std::nullopt;
    for (const BuiltIn& built_in : built_in_accounts) {
        // A built-in account answers to its name alone or with its own domain.
        if (same_account_name(name.name, built_in.name) && (!name.domain || same_account_name(*name.domain, built_in.domain)))
            return built_in_account(built_in);
    }
    if (!names_computer(accounts, name.domain)) return std::nullopt;
    if (const LocalUser* user = accounts.user_named(name.name)) return user_account(accounts, *user);
    if (const LocalGroup* group = accounts.group_named(name.name)) return group_account(accounts, *group);
    return std::nullopt;
}

}  // namespace winemu
