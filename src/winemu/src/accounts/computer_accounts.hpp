// computer_accounts.hpp: the accounts a computer keeps (its SID, local users and groups, who the
// process calls as), and the text they are kept in.
#pragma once

/* === The accounts file ===
 * One line a record, fields separated by one space, the name last (it may hold spaces):
 *     winemu-accounts 1
 *     computer NAME S-1-5-21-A-B-C
 *     next-rid N
 *     caller RID
 *     user RID ADMINISTRATOR(0|1) HASH|- NAME
 *     group RID NAME
 *     member GROUP-RID USER-RID
 * HASH is the Argon2id string of password_hash.hpp (no spaces in it); "-" is a user without a
 * password, which no logon with a password reaches. The reader refuses anything else: an unknown
 * record, a RID out of range or used twice, a name Windows would not take, a member of nothing. */

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winemu {

// Relative identifiers of a computer's own accounts start here, as on Windows.
inline constexpr std::uint32_t first_local_rid = 1000;

struct LocalUser {
    std::uint32_t rid = 0;
    bool administrator = false;  // a member of BUILTIN\Administrators
    std::string password_hash;   // empty: no password set
    std::string name;
};

struct LocalGroup {
    std::uint32_t rid = 0;
    std::string name;
    std::vector<std::uint32_t> members;  // RIDs of users
};

struct ComputerAccounts {
    std::string computer_name;
    std::string computer_sid;  // "S-1-5-21-a-b-c"
    std::uint32_t next_rid = first_local_rid;
    std::optional<std::uint32_t> caller;  // the user the process calls as, once made
    std::vector<LocalUser> users;
    std::vector<LocalGroup> groups;

    LocalUser* user_named(std::string_view name);
    const LocalUser* user_named(std::string_view name) const;
    const LocalUser* user_with_rid(std::uint32_t rid) const;
    LocalGroup* group_named(std::string_view name);
    const LocalGroup* group_named(std::string_view name) const;
    // The SID of one of the computer's own accounts.
    std::string sid_of(std::uint32_t rid) const { return computer_sid + "-" + std::to_string(rid); }
};

// A new computer's accounts: a fresh random SID and no users yet.
ComputerAccounts new_computer_accounts(std::string computer_name);

std::string write_accounts(const ComputerAccounts& accounts);
// Nothing when the text is damaged.
std::optional<ComputerAccounts> read_accounts(std::string_view text);

}  // namespace winemu
