// task_principal.hpp: the account a task is registered to run as, decided as RegisterTask decides
// it from its arguments, the definition's principal and the caller.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <winemu/taskschd.h>

#include "accounts/account_lookup.hpp"
#include "com/hresult_or.hpp"
#include "library/task_xml.hpp"

namespace winemu {


// What RegisterTask was handed: userId (none: a VT_EMPTY, VT_NULL or empty text), password
// (none likewise), logonType.
struct RegistrationCredentials {
    std::optional<std::string> user;
    std::optional<std::string> password;
    TASK_LOGON_TYPE logon_type = TASK_LOGON_NONE;
};

// The principal the task is stored with: the account, its logon type, and what the stored
// definition says of them (UserId or GroupId; LogonType, none for the group and service account logons).
struct RegisteredPrincipal {
    Account account;
    TASK_LOGON_TYPE logon_type = TASK_LOGON_INTERACTIVE_TOKEN;
    PrincipalRewrite written;  // what the stored definition says of it
    // Whether the definition says so already, and is stored as written: no userId was given, and
    // its principal names the account in these words (no UserId or GroupId: the caller) and the
    // logon type (no LogonType: InteractiveToken, or none for the group and service account logons).
    bool as_written = false;
};

// Decides the principal, or the HRESULT RegisterTask answers (see task_principal.cpp).
HResultOr<RegisteredPrincipal> registered_principal(const ComputerAccounts& accounts, const Account& caller,
                                                    const RegistrationCredentials& given,
                                                    const DefinitionPrincipal& definition);

// TASK_LOGON_TYPE as the schema's LogonType names it; none for GROUP, SERVICE_ACCOUNT and NONE.
std::optional<std::string_view> logon_type_name(TASK_LOGON_TYPE type);
// The schema's name back; none for a name it does not have.
std::optional<TASK_LOGON_TYPE> logon_type_named(std::string_view name);

}  // namespace winemu
