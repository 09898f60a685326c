// caller.hpp: who calls the Task Scheduler service: the account a connection acts as, as access
// checks and registrations see it.
#pragma once

#include <string>
#include <vector>

#include "com/hresult_or.hpp"
#include "library/task_library.hpp"

namespace winemu {

// Well-known SIDs, as Windows spells them.
inline constexpr const char* everyone_sid = "S-1-1-0";
inline constexpr const char* interactive_sid = "S-1-5-4";
inline constexpr const char* authenticated_users_sid = "S-1-5-11";
inline constexpr const char* local_system_sid = "S-1-5-18";
inline constexpr const char* local_service_sid = "S-1-5-19";
inline constexpr const char* network_service_sid = "S-1-5-20";
inline constexpr const char* administrators_sid = "S-1-5-32-544";
inline constexpr const char* users_sid = "S-1-5-32-545";

// An account as it calls: where it is kept (the computer's name), its name and SID, the SIDs of
// the groups it belongs to (the well-known ones it is counted in included), and whether it acts
// elevated as a member of Administrators (an administrator's SID list then holds administrators_sid).
struct Caller {
    std::string domain;
    std::string name;
    std::string sid;
    std::vector<std::string> group_sids;
    bool administrator = false;
};

// The account that calls through a connection to `library`: the one Connect logged on
// (library.account()), else the process's own, as the accounts of that library know them.
Caller connection_caller(const FollowedLibrary& library);

struct Account;
struct ComputerAccounts;
// The same account as the library's accounts keep it; the failure of reading them (a damaged
// accounts file), or E_ACCESSDENIED for an account Connect logged on that is gone since.
HResultOr<Account> caller_account(const FollowedLibrary& library);
// The same among accounts already read.
HResultOr<Account> caller_among(const ComputerAccounts& accounts, const FollowedLibrary& library);

}  // namespace winemu
