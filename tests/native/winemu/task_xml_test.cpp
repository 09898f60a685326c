// task_xml_test.cpp: RegisterTask's checks of the definition and the error objects it leaves.
#include <string>

#include "task_test_support.hpp"

namespace {

using namespace winemu_test;

constexpr std::u16string_view head =
    u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
    u"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n";

std::u16string with_head(std::u16string_view body) { return std::u16string(head) + std::u16string(body); }

const std::u16string nul(1, u'\0');

std::u16string repeated(std::u16string_view text, int times) {
    std::u16string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

// prefix + i + suffix for i from 0 to count - 1: distinct attribute names.
std::u16string numbered(std::u16string_view prefix, std::u16string_view suffix, int count) {
    std::u16string out;
    for (int i = 0; i < count; ++i) out += std::u16string(prefix) + u16(std::to_string(i)) + std::u16string(suffix);
    return out;
}

struct XmlCase {
    const char* what;
    std::u16string xml;
    HRESULT code;
    std::u16string detail;  // expected restricted description; empty: only the code is checked
};

using TaskXml = TaskServiceTest;

TEST_F(TaskXml, RefusalsGiveTheCodeAndWhereAndWhat) {
    std::u16string deeply_nested;
    for (int i = 0; i < 100000; ++i) deeply_nested += u"<Settings>";
    const XmlCase cases[] = {
        {"not XML at all", u"hello", SCHED_E_MALFORMEDXML, u"(1,1)::ERROR: Start tag expected, '<' not found"},
        {"empty text", u"", SCHED_E_MALFORMEDXML, u"(1,1)::ERROR: Document is empty"},
        {"a byte order mark alone", u"\xFEFF", SCHED_E_MALFORMEDXML, u"(1,1)::ERROR: Document is empty"},
        {"NUL after the root element", task_xml() + nul + u"<Bogus/>", SCHED_E_MALFORMEDXML,
         u"(12,1)::ERROR: invalid character found in the document"},
        {"NUL inside a value", with_head(u"  <Actions>x" + nul), SCHED_E_MALFORMEDXML,
         u"(3,13)::ERROR: invalid character found in the document"},
        {"33 actions", with_head(u"<Actions>" + repeated(u"<Exec><Command>a</Command></Exec>", 33) + u"</Actions></Task>"),
         SCHED_E_TOO_MANY_NODES, u"(3,1072):Exec:"},
        {"257 attributes on one element", with_head(u"<Settings" + numbered(u" a", u"=''", 257) + u"/>"),
         SCHED_E_TOO_MANY_NODES, u"(3,1):Settings:too many attributes on one element"},
        {"256 attributes on one element: past the bound, refused by the schema",
         with_head(u"<Settings" + numbered(u" a", u"=''", 256) + u"/><Actions><Exec><Command>a</Command></Exec></Actions></Task>"),
         SCHED_E_UNEXPECTEDNODE, u"(3,1949):a0:"},
        {"257 namespace declarations",
         with_head(repeated(u"<Data" + numbered(u" xmlns:p", u"='urn:x'", 64) + u">", 5)), SCHED_E_TOO_MANY_NODES,
         u"(3,3445):Data:too many namespace declarations"},  // the root declares one
        {"a boolean holding an element", task_xml(u"/bin/true", u"", u"<Enabled><x/></Enabled>"),
         SCHED_E_INVALIDVALUE, u"(4,14):Enabled:"},
        {"larger than any definition", task_xml(u"/bin/true", std::u16string(1 << 20, u'x')),
         HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), u""},
        {"unclosed element", with_head(u"<Actions>"), SCHED_E_MALFORMEDXML, u""},
        {"declared UTF-8",
         u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"/>",
         SCHED_E_MALFORMEDXML, u"(1,40)::ERROR: switch from current encoding to specified encoding not supported"},
        {"declared ISO-8859-1", u"<?xml version='1.0' encoding='ISO-8859-1' ?><Task/>", SCHED_E_MALFORMEDXML,
         u"(1,46)::ERROR: switch from current encoding to specified encoding not supported"},
        {"unpaired surrogate", u"<Task>\n  \xD800</Task>", SCHED_E_MALFORMEDXML,
         u"(2,3)::ERROR: invalid character found in the document"},
        {"document type declaration",
         u"<?xml version=\"1.0\"?>\n<!DOCTYPE Task [<!ENTITY a \"aaaa\">]>\n<Task>&a;</Task>",
         SCHED_E_MALFORMEDXML, u"(2,16)::ERROR: DTD is prohibited"},
        {"no namespace", u"<Task version=\"1.2\">\n</Task>", SCHED_E_NAMESPACE, u"(1,21):Task:"},
        {"wrong namespace", u"<Task xmlns=\"urn:other\"/>", SCHED_E_NAMESPACE, u"(1,25):Task:urn:other"},
        {"other root without namespace", u"<TASK>\n</TASK>", SCHED_E_UNEXPECTEDNODE, u"(1,7):TASK:"},
        {"other root", u"<Job xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"/>",
         SCHED_E_UNEXPECTEDNODE, u"(1,68):Job:"},
        {"unknown child of Task", with_head(u"  <Bogus/>\n</Task>"), SCHED_E_UNEXPECTEDNODE, u"(3,10):Bogus:"},
        {"no Actions", with_head(u"  <Settings/>\n</Task>"), SCHED_E_MISSINGNODE, u"(2,83):Actions:"},
        {"empty Actions", with_head(u"  <Actions>\n  </Actions>\n</Task>"), SCHED_E_MISSINGNODE, u"(3,12):Actions:"},
        {"Exec without Command", with_head(u"  <Actions>\n    <Exec>\n    </Exec>\n  </Actions>\n</Task>"),
         SCHED_E_MISSINGNODE, u"(4,11):Command:"},
        {"empty Command",
         with_head(u"  <Actions>\n    <Exec><Command> </Command></Exec>\n  </Actions>\n</Task>"),
         SCHED_E_INVALIDVALUE, u"(4,20):Command: "},
        {"boolean maybe", task_xml(u"/bin/true", u"", u"<Enabled>maybe</Enabled>"), SCHED_E_INVALIDVALUE,
         u"(4,14):Enabled:maybe"},
        {"boolean True", task_xml(u"/bin/true", u"", u"<Hidden>True</Hidden>"), SCHED_E_INVALIDVALUE,
         u"(4,13):Hidden:True"},
        {"nested beyond any definition", with_head(deeply_nested), SCHED_E_MALFORMEDXML, u""},
        {"boolean empty", task_xml(u"/bin/true", u"", u"<WakeToRun/>"), SCHED_E_INVALIDVALUE, u"(4,16):WakeToRun:"},
    };
    for (const XmlCase& c : cases) {
        const Refusal refusal = refusal_of(c.xml);
        EXPECT_EQ(refusal.code, c.code) << c.what;
        if (c.detail.empty()) {
            EXPECT_EQ(refusal.description.substr(0, 1), u"(") << c.what;
        } else {
            EXPECT_EQ(refusal.description, c.detail) << c.what;
        }
        EXPECT_EQ(get_task(u"Checked"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << c.what;
    }
}

TEST_F(TaskXml, AcceptedDefinitions) {
    const struct {
        const char* what;
        std::u16string xml;
    } cases[] = {
        {"plain", task_xml()},
        {"no declaration", task_xml().substr(task_xml().find(u'\n') + 1)},
        {"declared utf-16 in lower case", u"<?xml version='1.0' encoding='utf-16'?>" + task_xml().substr(task_xml().find(u'\n'))},
        {"byte order mark", u"\xFEFF" + task_xml()},
        {"booleans with blanks", task_xml(u"/bin/true", u"", u"<Enabled> false </Enabled><Hidden>true</Hidden>")},
        {"an action other than Exec", with_head(u"<Actions><ShowMessage><Title>t</Title><Body>b</Body></ShowMessage></Actions></Task>")},
        {"characters beyond ASCII", task_xml(u"/bin/\u00E9cho \xD83D\xDE00")},
        {"32 actions", with_head(u"<Actions>" + repeated(u"<Exec><Command>a</Command></Exec>", 32) + u"</Actions></Task>")},
    };
    for (const auto& c : cases) {
        Ref<IRegisteredTask> task;
        EXPECT_EQ(register_task(u"Accepted", c.xml, TASK_CREATE_OR_UPDATE, &task), S_OK) << c.what;
        if (!task) continue;
        Bstr xml;
        ASSERT_EQ(task->get_Xml(xml.put()), S_OK);
        std::u16string expected = c.xml;
        if (!expected.empty() && expected.front() == u'\xFEFF') expected.erase(0, 1);
        EXPECT_EQ(view(xml), expected) << c.what;
    }
}

TEST_F(TaskXml, EnabledFollowsSettings) {
    Ref<IRegisteredTask> task;
    VARIANT_BOOL enabled = VARIANT_TRUE;
    TASK_STATE state = TASK_STATE_UNKNOWN;
    ASSERT_EQ(register_task(u"Off", task_xml(u"/bin/true", u"", u"<Enabled>false</Enabled>"), TASK_CREATE_OR_UPDATE,
                            &task),
              S_OK);
    ASSERT_EQ(task->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_FALSE);
    ASSERT_EQ(task->get_State(&state), S_OK);
    EXPECT_EQ(state, TASK_STATE_DISABLED);
    ASSERT_EQ(register_task(u"On", task_xml(u"/bin/true", u"", u""), TASK_CREATE_OR_UPDATE, &task), S_OK);
    ASSERT_EQ(task->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_TRUE);
    EXPECT_EQ(task->get_Enabled(nullptr), E_POINTER);
}

TEST_F(TaskXml, TaskDisableRegistersTheTaskDisabled) {
    const struct {
        LONG flags;
        std::u16string xml;
    } cases[] = {
        {TASK_DISABLE, task_xml()},
        {TASK_DISABLE | TASK_CREATE, task_xml(u"/bin/true", u"", u"<Enabled>true</Enabled><Hidden>false</Hidden>")},
        {TASK_DISABLE | TASK_CREATE_OR_UPDATE, task_xml(u"/bin/true", u"", u"")},  // Settings without Enabled
        {TASK_DISABLE | TASK_CREATE_OR_UPDATE,
         u"<!-- kept -->\n<t:Task xmlns:t=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
         u"<t:Actions><t:Exec><t:Command>/bin/\u00E9</t:Command></t:Exec></t:Actions></t:Task>"},  // no Settings
        {TASK_DISABLE | TASK_CREATE_OR_UPDATE, task_xml(u"/bin/true", u"", u"<Enabled>false</Enabled>")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.xml));
        Ref<IRegisteredTask> registered;
        ASSERT_EQ(register_task(u"Disabled", c.xml, c.flags, &registered), S_OK);
        Ref<IRegisteredTask> task;
        ASSERT_EQ(get_task(u"Disabled", &task), S_OK);  // what was stored passes the checks again
        for (IRegisteredTask* each : {registered.get(), task.get()}) {
            VARIANT_BOOL enabled = VARIANT_TRUE;
            ASSERT_EQ(each->get_Enabled(&enabled), S_OK);
            EXPECT_EQ(enabled, VARIANT_FALSE);
        }
        Bstr xml;
        ASSERT_EQ(task->get_Xml(xml.put()), S_OK);
        const std::u16string_view text = view(xml);
        EXPECT_NE(text.find(u"Enabled>false</"), std::u16string_view::npos);
        EXPECT_EQ(text.find(u"Enabled>true</"), std::u16string_view::npos);
        EXPECT_TRUE(text.find(u"<!-- kept -->") != std::u16string_view::npos || c.xml.find(u"kept") == std::u16string::npos);
        EXPECT_NE(text.find(u"/bin/"), std::u16string_view::npos);
        ASSERT_EQ(delete_task(u"Disabled"), S_OK);
    }
    EXPECT_EQ(register_task(u"Validated", task_xml(), TASK_DISABLE | TASK_VALIDATE_ONLY), S_OK);
    // Ten bytes under the size cap: the disabled definition, written out with its Enabled, is over.
    const std::size_t base = task_xml(u"/bin/true", u"x", u"").size() - 1;
    const std::u16string near_cap = task_xml(u"/bin/true", std::u16string((1u << 20) - 10 - base, u'x'), u"");
    EXPECT_EQ(register_task(u"Large", near_cap, TASK_DISABLE), HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(register_task(u"Large", near_cap), S_OK);
    EXPECT_EQ(get_task(u"Validated"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(TaskXml, RefusalsDoNotDisturbAnExistingDefinition) {
    ASSERT_EQ(register_task(u"Checked", task_xml(u"/bin/original")), S_OK);
    EXPECT_EQ(register_task(u"Checked", u"<broken"), SCHED_E_MALFORMEDXML);
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Checked", &task), S_OK);
    Bstr xml;
    ASSERT_EQ(task->get_Xml(xml.put()), S_OK);
    EXPECT_NE(view(xml).find(u"/bin/original"), std::u16string_view::npos);
}

}  // namespace
