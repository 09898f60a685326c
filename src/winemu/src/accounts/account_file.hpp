// account_file.hpp: a computer's accounts kept at the root of its disk, the task library.
#pragma once

#include <functional>
#include <string>

#include "accounts/computer_accounts.hpp"
#include "com/hresult_or.hpp"

namespace winemu {

// The file at the library's root: a name no task or folder entry can take (task_paths.hpp).
inline constexpr const char* accounts_file = ".accounts";
// The largest accounts file read: thousands of accounts, far more than any test makes.
inline constexpr std::size_t largest_accounts_file = std::size_t{1} << 20;

// What a damaged accounts file answers, ERROR_INTERNAL_DB_CORRUPTION (1358): Windows' answer for
// a store of its own whose data is corrupt.
inline constexpr DWORD error_internal_db_corruption = 1358;

// The accounts of the computer whose disk is `library`. The first use makes the file (a new
// computer SID) and the caller's own account (named after the process's user, an administrator).
HResultOr<ComputerAccounts> load_accounts(const std::string& library);

// Applies `change` to the accounts under the library's lock, and writes them back (atomically,
// private) when it answers S_OK; its failure is the answer, and nothing is written then.
HRESULT change_accounts(const std::string& library, const std::function<HRESULT(ComputerAccounts&)>& change);

// Adds a user (a name no account of the computer has) and gives it the next RID.
HRESULT add_local_user(ComputerAccounts& accounts, const std::string& name, std::string password_hash,
                       bool administrator);

}  // namespace winemu
