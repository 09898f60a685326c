// computer_accounts.cpp: a computer's accounts and the text they are kept in.
#include "accounts/computer_accounts.hpp"

#include <sodium.h>

#include <algorithm>
#include <charconv>
#include <set>

#include "accounts/account_names.hpp"

namespace winemu {

namespace {

constexpr std::string_view header = "winemu-accounts 1";

template <typename Accounts>
auto find_user(Accounts& users, std::string_view name) -> decltype(&users.front()) {
    for (auto& user : users)
        if (same_account_name(user.name, name)) return &user;
    return nullptr;
}

// The next field of a line (up to a space), taken off it.
std::string_view take_field(std::string_view& line) {
    const std::size_t space = line.find(' ');
    const std::string_view field = line.substr(0, space);
    line = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
    return field;
}

std::optional<std::uint32_t> number(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

bool valid_hash(std::string_view hash) {
    return hash == "-" || (hash.starts_with("$argon2id$") && hash.size() < crypto_pwhash_STRBYTES);
}

// Reads one record into `accounts`; false when it is damaged.
bool read_record(std::string_view line, ComputerAccounts& accounts, std::set<std::uint32_t>& rids) {
    const std::string_view kind = take_field(line);
    const auto new_rid = [&](std::string_view text) -> std::optional<std::uint32_t> {
        const auto rid = number(text);
        if (!rid || *rid < first_local_rid || *rid >= accounts.next_rid || !rids.insert(*rid).second) return std::nullopt;
        return rid;
    };
    if (kind == "computer") {
        accounts.computer_name = std::string(take_field(line));
        accounts.computer_sid = std::string(line);
        return !accounts.computer_name.empty() && accounts.computer_sid.starts_with("S-1-5-21-") &&
               is_sid_text(accounts.computer_sid);
    }
    if (kind == "next-rid") {
        const auto next = number(line);
        if (!next || *next < first_local_rid || !accounts.users.empty() || !accounts.groups.empty()) return false;
        accounts.next_rid = *next;
        return true;
    }
    if (kind == "caller") {
        accounts.caller = number(line);
        return accounts.caller.has_value();
    }
    if (kind == "user") {
        const auto rid = new_rid(take_field(line));
        const std::string_view administrator = take_field(line);
        const std::string_view hash = take_field(line);
        if (!rid || (administrator != "0" && administrator != "1") || !valid_hash(hash) ||
            !valid_account_name(line, longest_user_name) || accounts.user_named(line) || accounts.group_named(line))
            return false;
        accounts.users.push_back({*rid, administrator == "1", hash == "-" ? std::string() : std::string(hash), std::string(line)});
        return true;
    }
    if (kind == "group") {
        const auto rid = new_rid(take_field(line));
        if (!rid || !valid_account_name(line, longest_group_name) || accounts.user_named(line) || accounts.group_named(line))
            return false;
        accounts.groups.push_back({*rid, std::string(line), {}});
        return true;
    }
    if (kind == "member") {
        const auto group = number(take_field(line));
        const auto user = number(line);
        if (!group || !user || !accounts.user_with_rid(*user)) return false;
        const auto found = std::ranges::find(accounts.groups, *group, &LocalGroup::rid);
        if (found == accounts.groups.end() || std::ranges::count(found->members, *user)) return false;
        found->members.push_back(*user);
        return true;
    }
    return false;
}

}  // namespace

LocalUser* ComputerAccounts::user_named(std::string_view name) { return find_user(users, name); }
const LocalUser* ComputerAccounts::user_named(std::string_view name) const { return find_user(users, name); }
LocalGroup* ComputerAccounts::group_named(std::string_view name) { return find_user(groups, name); }
const LocalGroup* ComputerAccounts::group_named(std::string_view name) const { return find_user(groups, name); }

const LocalUser* ComputerAccounts::user_with_rid(std::uint32_t rid) const {
    const auto found = std::ranges::find(users, rid, &LocalUser::rid);
    return found == users.end() ? nullptr : &*found;
}

ComputerAccounts new_computer_accounts(std::string computer_name) {
    ComputerAccounts accounts;
    accounts.computer_name = std::move(computer_name);
    // Three random sub-authorities, as Windows makes a computer's SID when it is installed.
    accounts.computer_sid = "S-1-5-21";
    for (int part = 0; part < 3; ++part) accounts.computer_sid += "-" + std::to_string(randombytes_random());
    return accounts;
}

std::string write_accounts(const ComputerAccounts& accounts) {
    std::string text = std::string(header) + "\n";
    text += "computer " + accounts.computer_name + " " + accounts.computer_sid + "\n";
    text += "next-rid " + std::to_string(accounts.next_rid) + "\n";
    if (accounts.caller) text += "caller " + std::to_string(*accounts.caller) + "\n";
    for (const LocalUser& user : accounts.users)
        text += "user " + std::to_string(user.rid) + (user.administrator ? " 1 " : " 0 ") +
                (user.password_hash.empty() ? std::string("-") : user.password_hash) + " " + user.name + "\n";
    for (const LocalGroup& group : accounts.groups) text += "group " + std::to_string(group.rid) + " " + group.name + "\n";
    for (const LocalGroup& group : accounts.groups)
        for (const std::uint32_t member : group.members)
            text += "member " + std::to_string(group.rid) + " " + std::to_string(member) + "\n";
    return text;
}

std::optional<ComputerAccounts> read_accounts(std::string_view text) {
    if (!text.starts_with(header) || !text.ends_with('\n')) return std::nullopt;
    ComputerAccounts accounts;
    std::set<std::uint32_t> rids;
    text.remove_prefix(header.size() + 1);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (!read_record(text.substr(0, end), accounts, rids)) return std::nullopt;
        text.remove_prefix(end + 1);
    }
    if (accounts.computer_sid.empty()) return std::nullopt;
    if (accounts.caller && !accounts.user_with_rid(*accounts.caller)) return std::nullopt;
    return accounts;
}

}  // namespace winemu
