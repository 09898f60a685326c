// sddl_test.cpp: security descriptors' SDDL texts read and written back, their refusals, and the
// access a caller gets under them.
#include <gtest/gtest.h>

#include <string>

#include "security/security_descriptor.hpp"

namespace {

using namespace winemu;

const HRESULT invalid_parameter = HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
const HRESULT invalid_sid = HRESULT_FROM_WIN32(1337);
const HRESULT invalid_acl = HRESULT_FROM_WIN32(1336);
const HRESULT none_mapped = HRESULT_FROM_WIN32(1332);

std::string narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }
std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Reads `text`; the canonical text, or the failure as "error 0x...".
std::string canonical(const std::string& text) {
    const auto read = read_sddl(wide(text));
    if (!read.ok()) {
        char code[32];
        std::snprintf(code, sizeof code, "error 0x%08X", static_cast<unsigned>(read.error()));
        return code;
    }
    return narrow(write_sddl(read.value()));
}

TEST(SddlText, ReadAndWrittenBackCanonically) {
    struct Case {
        std::string text, written;
    };
    const Case cases[] = {
        {"", ""},
        {"O:BAG:SY", "O:BAG:SY"},
        {"G:SYO:BA", "O:BAG:SY"},
        {"O:S-1-5-32-544", "O:BA"},
        {"O:S-1-5-21-1-2-3-1001", "O:S-1-5-21-1-2-3-1001"},
        {"O:LA", "O:LA"}, {"O:S-1-5-21-0-0-0-501", "O:LG"},
        {"O:S-1-0x1234567890AB-7", "O:S-1-0x1234567890AB-7"},
        {"O:S-1-0x000000000005-18", "O:SY"},
        {"O:S-1-2-0", "O:S-1-2-0"},
        {"D:", "D:"},
        {"D:NO_ACCESS_CONTROL", "D:NO_ACCESS_CONTROL"},
        {"D:AIARP(A;;GA;;;WD)", "D:PARAI(A;;GA;;;WD)"},
        {"D:(A;;GRGWGX;;;WD)", "D:(A;;GXGWGR;;;WD)"},
        {"D:(A;NP;0xf0000000;;;SU)", "D:(A;NP;GAGXGWGR;;;SU)"},
        {"D:(A;IDIO;3;;;SU)", "D:(A;IOID;CCDC;;;SU)"},
        {"D:(D;CIOI;0xFFFFFFFF;;;S-1-5-21-93476-23408-4576)", "D:(D;OICI;0xffffffff;;;S-1-5-21-93476-23408-4576)"},
        {"D:(A;;RCSDWDWO;;;WD)", "D:(A;;SDRCWDWO;;;WD)"},
        {"D:(A;;RPWPCCDCLCSWLODTCR;;;WD)", "D:(A;;CCDCLCSWRPWPDTLOCR;;;WD)"},
        {"D:(A;;0x1f01ff;;;SY)(A;;FR;;;BU)(A;;FRFX;;;AU)", "D:(A;;FA;;;SY)(A;;FR;;;BU)(A;;0x1200a9;;;AU)"},
        {"D:(A;;KAKRKWKX;;;WD)", "D:(A;;KA;;;WD)"},
        {"D:(A;;KX;;;WD)(A;;131078;;;WD)", "D:(A;;KR;;;WD)(A;;KW;;;WD)"},
        {"D:(A;;;;;WD)(A;;0;;;WD)", "D:(A;;;;;WD)(A;;;;;WD)"},
        {"D:(OA;;CR;1131F6AA-9C07-11D1-F79F-00C04FC2DCD2;;BA)(OD;;RP;;4828cc14-1437-45bc-9b07-ad6f015e5f28;AU)",
         "D:(OA;;CR;1131f6aa-9c07-11d1-f79f-00c04fc2dcd2;;BA)(OD;;RP;;4828cc14-1437-45bc-9b07-ad6f015e5f28;AU)"},
        {"S:(AU;SAFA;GA;;;WD)(AL;FA;FW;;;BU)(OU;;WP;;;AU)(OL;;RP;;;AU)(ML;;NWNR;;;LW)",
         "S:(AU;SAFA;GA;;;WD)(AL;FA;FW;;;BU)(OU;;WP;;;AU)(OL;;RP;;;AU)(ML;;NWNR;;;LW)"},
        {"S:PNO_ACCESS_CONTROL", "S:PNO_ACCESS_CONTROL"},
        {"S:AI(AU;SA;0x10000;;;WD)D:P(A;;GA;;;OW)G:S-1-5-32-545O:CO", "O:COG:BUD:P(A;;GA;;;OW)S:AI(AU;SA;SD;;;WD)"},
        {"O:S-1-5-21-4294967295-0-1-2-3-4-5-6-7-8-9-10-11-12", "O:S-1-5-21-4294967295-0-1-2-3-4-5-6-7-8-9-10-11-12"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(canonical(c.text), c.written) << c.text;
        // The canonical text reads back to the same descriptor and the same text.
        EXPECT_EQ(canonical(c.written), c.written) << c.text;
    }
}

TEST(SddlText, RefusedWithTheirCodes) {
    struct Case {
        std::string text;
        HRESULT code;
    };
    const Case cases[] = {
        {"ERROR:(D;;GA;;;WD)", invalid_parameter},
        {"X:BA", invalid_parameter},
        {"O", invalid_parameter},
        {"O:BAO:SY", invalid_parameter},
        {"O::", invalid_parameter},
        {"D:X(A;;GA;;;WD)", invalid_parameter},
        {"D:(A;;GA;;;WD", invalid_parameter},
        {"D:(A;;GA;;;WD))", invalid_parameter},
        {"D:((A;;GA;;;WD))", invalid_parameter},
        {"D:(A;;GA;;;WD) ", invalid_parameter},
        {"D:NO_ACCESS_CONTROL(A;;GA;;;WD)", invalid_parameter},
        {"D:(A;;ROB;;;WD)", invalid_acl},
        {"D:(A;;GA;;WD)", invalid_acl},
        {"D:(A;;GA;;;WD;x)", invalid_acl},
        {"D:(XA;;GA;;;WD;(Member_of {SID(BA)}))", invalid_parameter},
        {"D:(XA;;GA;;;WD)", invalid_acl},
        {"D:(RA;;;;;WD)", invalid_acl},
        {"D:(AU;SA;GA;;;WD)", invalid_acl},
        {"S:(A;;GA;;;WD)", invalid_acl},
        {"D:(A;XX;GA;;;WD)", invalid_acl},
        {"D:(A;;0x100000000;;;WD)", invalid_acl},
        {"D:(A;;4294967296;;;WD)", invalid_acl},
        {"D:(A;;0x;;;WD)", invalid_acl},
        {"D:(A;;G;;;WD)", invalid_acl},
        {"D:(A;;GA;1131f6aa-9c07-11d1-f79f-00c04fc2dcd2;;WD)", invalid_acl},
        {"D:(OA;;GA;1131f6aa-9c07-11d1-f79f-00c04fc2dcd;;WD)", invalid_acl},
        {"D:(OA;;GA;{1131f6aa-9c07-11d1-f79f-00c04fc2dcd2};;WD)", invalid_acl},
        {"D:(A;;GA;;;Nonexistent account)", invalid_sid},
        {"D:(A;;GA;;;)", invalid_sid},
        {"O:S-1-5", invalid_sid},
        {"O:S-2-5-18", invalid_sid},
        {"O:S-1-4294967296-1", invalid_sid},
        {"O:S-1-0x1000000000000-1", invalid_sid},
        {"O:S-1-5-4294967296", invalid_sid},
        {"O:S-1-5--18", invalid_sid},
        {"O:S-1-5-18-", invalid_sid},
        {"O:S-1-1-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", invalid_sid},
        {"O:ba", invalid_sid},
        {"O:XX", invalid_sid},
        {"O:BAG", invalid_sid},
        {"O:DA", none_mapped},
        {"D:(A;;GA;;;DU)", none_mapped},
    };
    for (const Case& c : cases) {
        const auto read = read_sddl(wide(c.text));
        ASSERT_FALSE(read.ok()) << c.text;
        EXPECT_EQ(read.error(), c.code) << c.text;
    }
}

TEST(SddlText, ReadingKeepsEveryField) {
    const auto read = read_sddl(
        u"O:S-1-5-21-1-2-3-1001G:BUD:PAI(OA;CIIO;RPWP;1131f6aa-9c07-11d1-f79f-00c04fc2dcd2;;SY)S:NO_ACCESS_CONTROL");
    ASSERT_TRUE(read.ok());
    const SecurityDescriptor& descriptor = read.value();
    EXPECT_EQ(descriptor.owner, "S-1-5-21-1-2-3-1001");
    EXPECT_EQ(descriptor.group, users_sid);
    EXPECT_EQ(descriptor.control, se_dacl_present | se_dacl_protected | se_dacl_auto_inherited | se_sacl_present);
    ASSERT_TRUE(descriptor.dacl.has_value());
    ASSERT_EQ(descriptor.dacl->size(), 1u);
    EXPECT_EQ(descriptor.dacl->front(), (Ace{AceType::access_allowed_object, container_inherit_ace | inherit_only_ace,
                                             0x30, "1131f6aa-9c07-11d1-f79f-00c04fc2dcd2", "", local_system_sid}));
    EXPECT_FALSE(descriptor.sacl.has_value());
}

TEST(SddlText, BoundedInLengthAndInAces) {
    // An ACL holds 64 KiB: 3,000 ACEs of Everyone (20 bytes each) fit, 3,300 do not.
    std::string fits = "D:", too_many = "D:";
    for (int i = 0; i < 3000; ++i) fits += "(A;;GA;;;WD)";
    for (int i = 0; i < 3300; ++i) too_many += "(A;;GA;;;WD)";
    EXPECT_TRUE(read_sddl(wide(fits)).ok());
    EXPECT_EQ(read_sddl(wide(too_many)).error(), invalid_acl);
    // Long flag runs and deep parentheses are refused without recursion.
    EXPECT_EQ(read_sddl(wide("D:" + std::string(2'000'000, 'P'))).error(), invalid_parameter);
    EXPECT_EQ(read_sddl(wide("D:" + std::string(500'000, '(') + std::string(500'000, ')'))).error(), invalid_parameter);
    EXPECT_EQ(read_sddl(u"O:S-1-5-21-\xFF11").error(), invalid_sid);
}

// Callers: an account that registered, another user, an elevated administrator, SYSTEM.
const Caller owner_user{"PC", "alice", "S-1-5-21-0-0-0-1001", {everyone_sid, authenticated_users_sid, users_sid}, false};
const Caller other_user{"PC", "bob", "S-1-5-21-0-0-0-1002", {everyone_sid, authenticated_users_sid, users_sid}, false};
const Caller administrator{"PC", "root", "S-1-5-21-0-0-0-500",
                           {everyone_sid, authenticated_users_sid, administrators_sid, users_sid}, true};
const Caller system_account{"NT AUTHORITY", "SYSTEM", local_system_sid, {everyone_sid, administrators_sid}, true};

TEST(AccessCheck, CallersUnderDescriptors) {
    constexpr std::uint32_t read = file_generic_read, write = file_generic_write, execute = file_generic_execute;
    struct Case {
        std::string sddl;
        const Caller* caller;
        std::uint32_t desired;
        bool granted;
    };
    const Case cases[] = {
        // No DACL, a NULL DACL: everything. An empty DACL: nothing but the owner's implicit rights.
        {"O:S-1-5-21-0-0-0-1001", &other_user, generic_all, true},
        {"D:NO_ACCESS_CONTROL", &other_user, delete_access | write_owner, true},
        {"O:S-1-5-21-0-0-0-1001D:", &other_user, read_control, false},
        {"O:S-1-5-21-0-0-0-1001D:", &owner_user, read_control | write_dac, true},
        {"O:S-1-5-21-0-0-0-1001D:", &owner_user, read, false},
        // The owner's implicit rights hold against a deny ACE; an OWNER RIGHTS ACE replaces them.
        {"O:S-1-5-21-0-0-0-1001D:(D;;RCWD;;;WD)", &owner_user, read_control | write_dac, true},
        {"O:S-1-5-21-0-0-0-1001D:(A;;FR;;;OW)", &owner_user, write_dac, false},
        {"O:S-1-5-21-0-0-0-1001D:(A;;FR;;;OW)", &owner_user, read, true},
        {"O:S-1-5-21-0-0-0-1001D:(A;;FR;;;OW)", &other_user, read, false},
        {"O:S-1-5-21-0-0-0-1001D:(A;IO;FR;;;OW)", &owner_user, write_dac, true},
        {"O:BAD:", &administrator, read_control, true},
        // Generic rights mapped as for files, both in ACEs and in the request.
        {"D:(A;;GR;;;BU)", &other_user, read, true},
        {"D:(A;;GR;;;BU)", &other_user, generic_read, true},
        {"D:(A;;GR;;;BU)", &other_user, generic_read | generic_write, false},
        {"D:(A;;GA;;;BA)", &administrator, file_all_access, true},
        {"D:(A;;GA;;;BA)", &owner_user, generic_read, false},
        {"D:(A;;FX;;;AU)(A;;FR;;;AU)", &other_user, read | execute, true},
        {"D:(A;;FX;;;AU)(A;;FR;;;AU)", &other_user, write, false},
        // Deny before allow as ordered; an allow before a deny grants what it names.
        {"D:(D;;FW;;;S-1-5-21-0-0-0-1002)(A;;FA;;;BU)", &other_user, write, false},
        {"D:(D;;FW;;;S-1-5-21-0-0-0-1002)(A;;FA;;;BU)", &owner_user, write, true},
        {"D:(D;;FW;;;S-1-5-21-0-0-0-1002)(A;;FA;;;BU)", &other_user, 0x1, true},
        {"D:(A;;FA;;;BU)(D;;FW;;;S-1-5-21-0-0-0-1002)", &other_user, write, true},
        {"D:(A;;FR;;;WD)(D;;FA;;;WD)", &other_user, read | write, false},
        // Inherit-only ACEs and object ACEs naming an object type do not apply here.
        {"D:(A;OICIIO;GA;;;BU)", &other_user, read, false},
        {"D:(A;OICI;GA;;;BU)", &other_user, read, true},
        {"D:(OA;;FA;1131f6aa-9c07-11d1-f79f-00c04fc2dcd2;;BU)", &other_user, read, false},
        {"D:(OA;;FA;;;BU)", &other_user, read, true},
        {"D:(OD;;FA;1131f6aa-9c07-11d1-f79f-00c04fc2dcd2;;BU)(A;;FA;;;BU)", &other_user, read, true},
        {"D:(A;;FA;;;CO)", &owner_user, read, false},
        // Administrators' and SYSTEM's group SIDs; a request for nothing; MAXIMUM_ALLOWED.
        {"D:(A;;FA;;;BA)", &system_account, write, true},
        {"D:(A;;FA;;;SY)", &administrator, write, false},
        {"D:(A;;FA;;;WD)", &other_user, 0, false},
        {"D:(A;;FR;;;WD)", &other_user, maximum_allowed, true},
        {"D:(D;;FR;;;WD)", &other_user, maximum_allowed, false},
    };
    for (const Case& c : cases) {
        const auto descriptor = read_sddl(wide(c.sddl));
        ASSERT_TRUE(descriptor.ok()) << c.sddl;
        EXPECT_EQ(access_granted(descriptor.value(), *c.caller, c.desired), c.granted)
            << c.sddl << " for " << c.caller->name << " asking 0x" << std::hex << c.desired;
    }
}

TEST(AccessCheck, DefaultSecurityOfNewTasksAndFolders) {
    const SecurityDescriptor task = default_security(owner_user, false);
    EXPECT_EQ(narrow(write_sddl(task)), "O:S-1-5-21-0-0-0-1001G:SYD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FA;;;S-1-5-21-0-0-0-1001)");
    EXPECT_EQ(narrow(write_sddl(default_security(administrator, true))),
              "O:BAG:SYD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FA;;;LA)(A;;FR;;;AU)");
    EXPECT_EQ(narrow(write_sddl(default_security(system_account, false))), "O:BAG:SYD:(A;;FA;;;BA)(A;;FA;;;SY)");
    EXPECT_TRUE(access_granted(task, owner_user, generic_all));
    EXPECT_TRUE(access_granted(task, administrator, generic_all));
    EXPECT_TRUE(access_granted(task, system_account, generic_all));
    EXPECT_FALSE(access_granted(task, other_user, generic_read));
    const SecurityDescriptor folder = default_security(owner_user, true);
    EXPECT_TRUE(access_granted(folder, other_user, generic_read));
    EXPECT_FALSE(access_granted(folder, other_user, generic_write));
}

}  // namespace
