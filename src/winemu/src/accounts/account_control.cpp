// account_control.cpp: the control API's accounts: who the process calls as, and the users and
// groups of the chosen library's computer, for tests.
#include <winemu/control.h>

#include <sodium.h>

#include <algorithm>
#include <cstring>

#include "accounts/account_file.hpp"
#include "accounts/account_lookup.hpp"
#include "accounts/account_names.hpp"
#include "accounts/password_hash.hpp"
#include "control/control_text.hpp"
#include "control/json_text.hpp"
#include "library/task_library.hpp"

namespace winemu {
namespace {

// ERROR_USER_EXISTS, ERROR_GROUP_EXISTS, ERROR_INVALID_ACCOUNT_NAME: what Windows' account calls answer.
constexpr DWORD error_user_exists = 1316;
constexpr DWORD error_group_exists = 1318;
constexpr DWORD error_invalid_account_name = 1315;

// The password's hash; the caller's buffer is wiped once it is made, whatever the outcome, so that
// the text lives in winemu's memory no longer than hashing takes. Null: no password.
HResultOr<std::string> hash_and_wipe(char* password) {
    if (!password) return std::string();
    const std::size_t length = std::strlen(password);
    auto hash = hash_password(std::string_view(password, length));
    sodium_memzero(password, length);
    if (!hash) return HResultOr<std::string>::failure(E_OUTOFMEMORY);
    return std::move(*hash);
}

LocalUser* existing_user(ComputerAccounts& accounts, const char* name) {
    return name ? accounts.user_named(name) : nullptr;
}

// Runs a change of the chosen library's accounts; no exception leaves the C API.
template <typename Change>
HRESULT change(Change&& apply) {
    try {
        return change_accounts(task_library(), std::forward<Change>(apply));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

std::string accounts_json(const ComputerAccounts& accounts) {
    std::string json = "{\"computer\": ";
    append_json_string(json, accounts.computer_name);
    json += ", \"sid\": ";
    append_json_string(json, accounts.computer_sid);
    json += ", \"caller\": ";
    append_json_string(json, accounts.user_with_rid(*accounts.caller)->name);
    json += ", \"accounts\": [";
    const std::vector<Account> all = all_accounts(accounts);
    for (const Account& account : all) {
        if (&account != &all.front()) json += ", ";
        json += "{\"domain\": ";
        append_json_string(json, account.domain);
        json += ", \"name\": ";
        append_json_string(json, account.name);
        json += ", \"sid\": ";
        append_json_string(json, account.sid);
        json += ", \"kind\": ";
        append_json_string(json, account.kind == AccountKind::user      ? "user"
                                 : account.kind == AccountKind::service ? "service"
                                                                        : "group");
        json += account.administrator ? ", \"administrator\": true" : ", \"administrator\": false";
        json += account.kind == AccountKind::user && !account.password_hash.empty() ? ", \"password\": true"
                                                                                     : ", \"password\": false";
        json += ", \"groups\": [";
        for (std::size_t index = 0; index < account.group_sids.size(); ++index) {
            if (index) json += ", ";
            append_json_string(json, account.group_sids[index]);
        }
        json += "]}";
    }
    return json + "]}";
}

}  // namespace
}  // namespace winemu

using namespace winemu;

extern "C" WINEMU_API HRESULT winemu_set_caller(const char* name, int administrator) {
    if (!name) return E_INVALIDARG;
    return change([&](ComputerAccounts& accounts) {
        if (!existing_user(accounts, name)) {
            if (accounts.group_named(name)) return HRESULT_FROM_WIN32(error_group_exists);
            if (!valid_account_name(name, longest_user_name)) return HRESULT_FROM_WIN32(error_invalid_account_name);
            if (const HRESULT failed = add_local_user(accounts, name, {}, false); FAILED(failed)) return failed;
        }
        LocalUser* user = existing_user(accounts, name);
        user->administrator = administrator != 0;
        accounts.caller = user->rid;
        return S_OK;
    });
}

extern "C" WINEMU_API HRESULT winemu_add_user(const char* name, char* password, int administrator,
                                              const char* const* groups) {
    // Hashed before the accounts are locked: the hash takes tens of milliseconds.
    auto hash = hash_and_wipe(password);
    if (!hash.ok()) return hash.error();
    if (!name) return E_INVALIDARG;
    return change([&](ComputerAccounts& accounts) {
        if (!valid_account_name(name, longest_user_name)) return HRESULT_FROM_WIN32(error_invalid_account_name);
        if (accounts.user_named(name) || accounts.group_named(name)) return HRESULT_FROM_WIN32(error_user_exists);
        for (const char* const* group = groups; group && *group; ++group)
            if (!accounts.group_named(*group)) return HRESULT_FROM_WIN32(ERROR_NONE_MAPPED);
        if (const HRESULT failed = add_local_user(accounts, name, std::move(hash.value()), administrator != 0); FAILED(failed))
            return failed;
        const std::uint32_t rid = accounts.users.back().rid;
        for (const char* const* group = groups; group && *group; ++group) {
            LocalGroup* joined = accounts.group_named(*group);
            if (!std::ranges::count(joined->members, rid)) joined->members.push_back(rid);
        }
        return S_OK;
    });
}

extern "C" WINEMU_API HRESULT winemu_remove_user(const char* name) {
    return change([&](ComputerAccounts& accounts) {
        const LocalUser* user = existing_user(accounts, name);
        if (!user) return HRESULT_FROM_WIN32(ERROR_NONE_MAPPED);
        const std::uint32_t rid = user->rid;
        for (LocalGroup& group : accounts.groups) std::erase(group.members, rid);
        std::erase_if(accounts.users, [&](const LocalUser& kept) { return kept.rid == rid; });
        // Without its caller the computer makes the process's own account again on next use.
        if (accounts.caller == rid) accounts.caller.reset();
        return S_OK;
    });
}

extern "C" WINEMU_API HRESULT winemu_set_password(const char* name, char* password) {
    auto hash = hash_and_wipe(password);
    if (!hash.ok()) return hash.error();
    return change([&](ComputerAccounts& accounts) {
        LocalUser* user = existing_user(accounts, name);
        if (!user) return HRESULT_FROM_WIN32(ERROR_NONE_MAPPED);
        user->password_hash = std::move(hash.value());
        return S_OK;
    });
}

extern "C" WINEMU_API HRESULT winemu_add_group(const char* name) {
    if (!name) return E_INVALIDARG;
    return change([&](ComputerAccounts& accounts) {
        if (!valid_account_name(name, longest_group_name)) return HRESULT_FROM_WIN32(error_invalid_account_name);
        if (accounts.user_named(name) || accounts.group_named(name)) return HRESULT_FROM_WIN32(error_group_exists);
        accounts.groups.push_back({accounts.next_rid++, name, {}});
        return S_OK;
    });
}

extern "C" WINEMU_API HRESULT winemu_accounts(char* buffer, size_t capacity, size_t* length) {
    if (!length) return E_POINTER;
    try {
        auto accounts = load_accounts(task_library());
        if (!accounts.ok()) return accounts.error();
        *length = copy_text_out(accounts_json(accounts.value()), buffer, capacity);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
