// task_access_test.cpp: who may do what to a task, for callers of every kind under the default and
// other descriptors, as one table.
#include <gtest/gtest.h>

#include <string>

#include "service/task_access.hpp"

namespace {

using namespace winemu;

const std::string alice_sid = "S-1-5-21-0-0-0-1001";
const std::string bob_sid = "S-1-5-21-0-0-0-1002";

Caller user(const std::string& name, const std::string& sid) {
    return {"HOST", name, sid, {everyone_sid, interactive_sid, authenticated_users_sid, users_sid}, false};
}

// alice registered the task; bob is another user of the computer.
const Caller alice = user("alice", alice_sid);
const Caller bob = user("bob", bob_sid);
const Caller administrator{"HOST", "admin", "S-1-5-21-0-0-0-500",
                           {everyone_sid, authenticated_users_sid, administrators_sid, users_sid}, true};
const Caller system_account{"NT AUTHORITY", "SYSTEM", local_system_sid,
                            {everyone_sid, authenticated_users_sid, administrators_sid}, true};

constexpr Access operations[] = {Access::read,   Access::change,        Access::run,
                                 Access::remove, Access::read_security, Access::change_security};

struct Row {
    const char* descriptor;
    const char* caller;
    const char* answers;  // per operation above: G granted, D E_ACCESSDENIED
};

std::string descriptor_named(const std::string& name) {
    if (name == "default") return default_task_security(alice);
    if (name == "read-only for Users") return "O:BAG:SYD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;BU)";
    if (name == "deny for bob") return "O:" + alice_sid + "D:(D;;FA;;;" + bob_sid + ")(A;;FA;;;BA)(A;;FA;;;SY)(A;;FA;;;AU)";
    if (name == "empty DACL") return "O:" + alice_sid + "D:";
    return name;
}

const Caller& caller_named(const std::string& name) {
    if (name == "owner") return alice;
    if (name == "administrator") return administrator;
    if (name == "SYSTEM") return system_account;
    return bob;
}

TEST(TaskAccess, CallersOperationsAndDescriptors) {
    // read, change, run, remove, read security, change security
    const Row rows[] = {
        {"default", "owner", "GGGGGG"},
        {"default", "administrator", "GGGGGG"},
        {"default", "other user", "DDDDDD"},
        {"default", "SYSTEM", "GGGGGG"},
        // FR holds READ_CONTROL: a reader may read the descriptor too.
        {"read-only for Users", "owner", "GDDDGD"},
        {"read-only for Users", "administrator", "GGGGGG"},
        {"read-only for Users", "other user", "GDDDGD"},
        {"read-only for Users", "SYSTEM", "GGGGGG"},
        // A deny ACE before the grants wins over them.
        {"deny for bob", "owner", "GGGGGG"},
        {"deny for bob", "administrator", "GGGGGG"},
        {"deny for bob", "other user", "DDDDDD"},
        {"deny for bob", "SYSTEM", "GGGGGG"},
        // An empty DACL grants nothing; the owner may still read and replace it.
        {"empty DACL", "owner", "DDDDGG"},
        {"empty DACL", "administrator", "DDDDDD"},
        {"empty DACL", "other user", "DDDDDD"},
        {"empty DACL", "SYSTEM", "DDDDDD"},
    };
    for (const Row& row : rows) {
        const std::string sddl = descriptor_named(row.descriptor);
        std::string answers;
        for (const Access operation : operations)
            answers += check_access(caller_named(row.caller), sddl, operation) == S_OK ? 'G' : 'D';
        EXPECT_EQ(answers, row.answers) << row.descriptor << " / " << row.caller << ": " << sddl;
    }
}

TEST(TaskAccess, DefaultsOwnersAndTheRoot) {
    // An elevated administrator's objects are owned by Administrators, a user's by the user.
    EXPECT_EQ(default_task_security(alice).rfind("O:" + alice_sid, 0), 0u) << default_task_security(alice);
    EXPECT_EQ(default_task_security(administrator).rfind("O:BA", 0), 0u) << default_task_security(administrator);
    // Any authenticated user may list the root and add tasks and folders to it; only what the
    // defaults grant may touch another's folder.
    const std::string root = root_folder_security();
    for (const Access access : {Access::read, Access::add_task, Access::add_folder})
        EXPECT_EQ(check_access(bob, root, access), S_OK);
    EXPECT_EQ(check_access(bob, root, Access::change_security), E_ACCESSDENIED);
    EXPECT_EQ(check_access(bob, default_folder_security(alice), Access::add_task), E_ACCESSDENIED);
    // A descriptor edited by hand into nonsense grants nothing, not even to SYSTEM.
    EXPECT_EQ(check_access(system_account, "not an SDDL", Access::read), E_ACCESSDENIED);
}

TEST(TaskAccess, DescriptorPartsAndKeptForm) {
    const std::string sddl = "O:BAG:SYD:(A;;FA;;;BA)";
    EXPECT_EQ(descriptor_parts(sddl, 0x1).value(), u"O:BA");
    EXPECT_EQ(descriptor_parts(sddl, 0x4).value(), u"D:(A;;FA;;;BA)");
    EXPECT_EQ(descriptor_parts(sddl, 0x7).value(), u"O:BAG:SYD:(A;;FA;;;BA)");
    EXPECT_EQ(descriptor_parts(sddl, 0x8).error(), HRESULT_FROM_WIN32(1314));  // ERROR_PRIVILEGE_NOT_HELD
    // What is given is kept as Windows writes it back.
    EXPECT_EQ(kept_form(u"O:BAD:(A;;0x1f01ff;;;S-1-5-32-544)").value(), "O:BAD:(A;;FA;;;BA)");
    EXPECT_FALSE(kept_form(u"D:(A;;FA;;;").ok());
}

}  // namespace
