// computer_accounts_test.cpp: the accounts file read back as written, damaged ones refused, and
// names looked up as Windows takes them.
#include <gtest/gtest.h>

#include <string>

#include "accounts/account_lookup.hpp"
#include "accounts/caller.hpp"
#include "accounts/computer_accounts.hpp"

namespace winemu {
namespace {

ComputerAccounts sample() {
    ComputerAccounts accounts = new_computer_accounts("HOST");
    accounts.users.push_back({accounts.next_rid++, true, "", "me"});
    accounts.users.push_back({accounts.next_rid++, false, "$argon2id$v=19$m=16384,t=2,p=1$c2FsdA$aGFzaA", "Alice Smith"});
    accounts.groups.push_back({accounts.next_rid++, "Operators", {1001}});
    accounts.caller = 1000;
    return accounts;
}

TEST(ComputerAccounts, WrittenTextReadsBackTheSame) {
    const ComputerAccounts accounts = sample();
    const auto read = read_accounts(write_accounts(accounts));
    ASSERT_TRUE(read);
    EXPECT_EQ(write_accounts(*read), write_accounts(accounts));
    EXPECT_EQ(read->user_named("ALICE SMITH")->rid, 1001u);
    EXPECT_EQ(read->computer_sid, accounts.computer_sid);
}

TEST(ComputerAccounts, DamagedTextIsRefused) {
    const std::string good = write_accounts(sample());
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    for (const std::string& damaged : {
             std::string(), good.substr(0, good.size() - 1), "winemu-accounts 2\n" + good.substr(18),
             replaced("user 1001 0", "user 1000 0"),            // a RID used twice
             replaced("user 1001 0", "user 999 0"),             // below the computer's own
             replaced("user 1001 0", "user 5000 0"),            // not handed out yet
             replaced("user 1001 0", "user 1001 2"),            // administrator neither 0 nor 1
             replaced("Alice Smith", "ali\\ce"),                // a name Windows refuses
             replaced("Alice Smith", "ME"),                     // a name taken, in another case
             replaced("$argon2id$", "$plain$"),                 // no Argon2id hash
             replaced("member 1002 1001", "member 1002 4242"),  // a member that is no user
             replaced("caller 1000", "caller 1002"),            // a caller that is no user
             replaced("computer HOST S-1-5-21-", "computer HOST S-1-5-32-"),
             good + "extra record\n",
         }) {
        EXPECT_FALSE(read_accounts(damaged)) << damaged;
    }
}

TEST(AccountLookup, NamesAsWindowsTakesThem) {
    const ComputerAccounts accounts = sample();
    const std::string alice = accounts.sid_of(1001);
    struct Case {
        const char* name;
        std::string sid;  // empty: no such account
    };
    for (const Case& c : {
             Case{"alice smith", alice}, Case{"HOST\\Alice Smith", alice}, Case{"host\\alice smith", alice},
             Case{".\\ALICE SMITH", alice}, Case{"OTHER\\Alice Smith", ""}, Case{"SYSTEM", local_system_sid},
             Case{"NT AUTHORITY\\SYSTEM", local_system_sid}, Case{"nt authority\\local service", local_service_sid},
             Case{"BUILTIN\\SYSTEM", ""}, Case{"Administrators", administrators_sid}, Case{"S-1-5-18", local_system_sid},
             Case{"s-1-5-32-545", users_sid}, Case{alice.c_str(), alice}, Case{"S-1-5-21-1-2-3-1001", ""},
             Case{"Operators", accounts.sid_of(1002)}, Case{"", ""}, Case{"HOST\\", ""}, Case{"nobody", ""},
         }) {
        const auto found = find_account(accounts, c.name);
        EXPECT_EQ(found ? found->sid : std::string(), c.sid) << c.name;
    }
    const Account member = *find_account(accounts, "Alice Smith");
    EXPECT_FALSE(member.administrator);
    EXPECT_EQ(std::count(member.group_sids.begin(), member.group_sids.end(), accounts.sid_of(1002)), 1);
    EXPECT_TRUE(find_account(accounts, "me")->administrator);
    EXPECT_TRUE(find_account(accounts, "SYSTEM")->administrator);
    EXPECT_FALSE(find_account(accounts, "NETWORK SERVICE")->administrator);
}

}  // namespace
}  // namespace winemu
