// task_principal.cpp: the account a task is registered to run as.
#include "accounts/task_principal.hpp"

#include <algorithm>

#include "accounts/password_hash.hpp"

namespace winemu {

/* === The rules, in the order they are checked ===
 * 1. A logonType outside TASK_LOGON_TYPE is E_INVALIDARG.
 * 2. The account: userId when given, else the definition's UserId or GroupId (which then also
 *    decides the logon type when logonType is NONE), else the caller. Its logon type: logonType,
 *    or when NONE the definition's LogonType, else InteractiveToken. A GroupId makes it GROUP.
 * 3. A name the computer does not know is ERROR_NONE_MAPPED (LookupAccountName's answer).
 * 4. The kinds must agree: GROUP only with a group, and a group only with GROUP; SYSTEM, LOCAL
 *    SERVICE and NETWORK SERVICE run as SERVICE_ACCOUNT whatever else was asked (as Windows keeps
 *    them), and SERVICE_ACCOUNT only with one of them. A mismatch is E_INVALIDARG: the
 *    documentation names no code, and that is the answer for an argument the call cannot take.
 * 5. A caller that is not an administrator registers only for itself (or a group it belongs to):
 *    another user, a group it is not in, or a service account is E_ACCESSDENIED.
 * 6. A service account takes no password (the documentation: "must be an empty VARIANT"), else
 *    E_INVALIDARG. PASSWORD needs the account's password: missing or wrong, ERROR_LOGON_FAILURE
 *    (LogonUser's answer; the documentation is silent on a missing one, and Windows' own tools
 *    report "The user name or password is incorrect" then). INTERACTIVE_TOKEN_OR_PASSWORD checks
 *    a password when one is given. S4U and INTERACTIVE_TOKEN store none, and ignore one given.
 * Passwords are checked against the account's hash and never stored. */

namespace {

constexpr std::pair<TASK_LOGON_TYPE, std::string_view> logon_names[] = {
    {TASK_LOGON_PASSWORD, "Password"},
    {TASK_LOGON_S4U, "S4U"},
    {TASK_LOGON_INTERACTIVE_TOKEN, "InteractiveToken"},
    {TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD, "InteractiveTokenOrPassword"},
};

using Outcome = HResultOr<RegisteredPrincipal>;

bool member_of(const Account& caller, const Account& group) {
    return std::ranges::count(caller.group_sids, group.sid) > 0;
}

bool password_matches(const Account& account, const std::string& password) {
    return account.kind == AccountKind::user && !account.password_hash.empty() &&
           verify_password(account.password_hash, password);
}

}  // namespace

std::optional<std::string_view> logon_type_name(TASK_LOGON_TYPE type) {
    for (const auto& [known, name] : logon_names)
        if (known == type) return name;
    return std::nullopt;
}

std::optional<TASK_LOGON_TYPE> logon_type_named(std::string_view name) {
    for (const auto& [type, known] : logon_names)
        if (known == name) return type;
    return std::nullopt;
}

HResultOr<RegisteredPrincipal> registered_principal(const ComputerAccounts& accounts, const Account& caller,
                                                    const RegistrationCredentials& given,
                                                    const DefinitionPrincipal& definition) {
    if (given.logon_type < TASK_LOGON_NONE || given.logon_type > TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD)
        return Outcome::failure(E_INVALIDARG);

    TASK_LOGON_TYPE logon = given.logon_type;
    std::optional<Account> account;
    if (given.user) {
        account = find_account(accounts, *given.user);
    } else if (definition.group_id || definition.user_id) {
        account = find_account(accounts, definition.group_id ? *definition.group_id : *definition.user_id);
        if (definition.group_id) logon = TASK_LOGON_GROUP;
    } else {
        account = caller;
    }
    if (logon == TASK_LOGON_NONE && definition.logon_type)
        logon = logon_type_named(*definition.logon_type).value_or(TASK_LOGON_INTERACTIVE_TOKEN);
    if (logon == TASK_LOGON_NONE) logon = TASK_LOGON_INTERACTIVE_TOKEN;
    if (!account) return Outcome::failure(HRESULT_FROM_WIN32(ERROR_NONE_MAPPED));

    if (account->kind == AccountKind::service && logon != TASK_LOGON_GROUP) logon = TASK_LOGON_SERVICE_ACCOUNT;
    const bool group_logon = logon == TASK_LOGON_GROUP;
    if (group_logon != (account->kind == AccountKind::group)) return Outcome::failure(E_INVALIDARG);
    if (logon == TASK_LOGON_SERVICE_ACCOUNT && account->kind != AccountKind::service)
        return Outcome::failure(E_INVALIDARG);

    const bool own = account->sid == caller.sid || (group_logon && member_of(caller, *account));
    if (!own && !caller.administrator) return Outcome::failure(E_ACCESSDENIED);

    if (logon == TASK_LOGON_SERVICE_ACCOUNT && given.password) return Outcome::failure(E_INVALIDARG);
    const bool password_needed = logon == TASK_LOGON_PASSWORD ||
                                 (logon == TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD && given.password);
    if (password_needed && (!given.password || !password_matches(*account, *given.password)))
        return Outcome::failure(HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE));

    RegisteredPrincipal principal;
    principal.logon_type = logon;
    principal.written.id_element = group_logon ? "GroupId" : "UserId";
    // Windows writes the SIDs of groups and service accounts, and a user as COMPUTER\name.
    principal.written.id = account->kind == AccountKind::user ? account->qualified_name() : account->sid;
    if (const auto name = logon_type_name(logon)) principal.written.logon_type = std::string(*name);
    const bool no_principal = !definition.user_id && !definition.group_id;
    const auto& written_id = group_logon ? definition.group_id : definition.user_id;
    principal.as_written =
        !given.user && (no_principal ? account->sid == caller.sid : written_id == principal.written.id) &&
        (definition.logon_type ? definition.logon_type == principal.written.logon_type
                               : logon == TASK_LOGON_INTERACTIVE_TOKEN || !principal.written.logon_type);
    principal.account = std::move(*account);
    principal.account.password_hash.clear();
    return principal;
}

}  // namespace winemu
