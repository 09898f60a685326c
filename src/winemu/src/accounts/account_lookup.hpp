// account_lookup.hpp: an account found by name or SID among a computer's accounts, the built-in
// ones included, with the groups it is counted in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/computer_accounts.hpp"

namespace winemu {

enum class AccountKind {
    user,     // one of the computer's own users
    service,  // SYSTEM, LOCAL SERVICE, NETWORK SERVICE
    group,    // a local group, a built-in one (BUILTIN\...) or a well-known one (Everyone, ...)
};

struct Account {
    AccountKind kind = AccountKind::user;
    std::string domain;  // the computer's name, "NT AUTHORITY", "BUILTIN" or "" (Everyone)
    std::string name;    // as the computer spells it
    std::string sid;
    std::vector<std::string> group_sids;  // for users and services: the groups it is counted in
    bool administrator = false;           // acts as a member of BUILTIN\Administrators
    std::optional<std::uint32_t> rid;     // a local user's or group's
    std::string password_hash;            // a local user's; empty when it has none

    // "DOMAIN\name", or the name alone for an account of no domain.
    std::string qualified_name() const { return domain.empty() ? name : domain + "\\" + name; }
};

// The account `text` names, as Windows takes a name: "name", "COMPUTER\name", ".\name",
// "NT AUTHORITY\SYSTEM", "SYSTEM", "BUILTIN\Administrators", or a SID's text. Nothing when the
// computer has no such account.
std::optional<Account> find_account(const ComputerAccounts& accounts, std::string_view text);

// A local user as an account, with its groups.
Account user_account(const ComputerAccounts& accounts, const LocalUser& user);

// Every account of the computer, the built-in ones first.
std::vector<Account> all_accounts(const ComputerAccounts& accounts);

}  // namespace winemu
