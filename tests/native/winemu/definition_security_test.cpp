// definition_security_test.cpp: RegisterTask gives a task its definition's
// RegistrationInfo/SecurityDescriptor when its sddl argument names none, keeping the definition as
// written; an unreadable one is refused, validation alone included.
#include <string>

#include "task_test_support.hpp"

namespace {

using namespace winemu_test;

// The definition of task_xml() with RegistrationInfo holding `element` (the whole element).
std::u16string with_registration_info(std::u16string_view element) {
    std::u16string xml = task_xml();
    const std::u16string task_start = u"mit/task\">\n";
    xml.insert(xml.find(task_start) + task_start.size(), u"  <RegistrationInfo>" + std::u16string(element) +
                                                             u"</RegistrationInfo>\n");
    return xml;
}

struct DescriptorCase {
    const char* label;
    std::u16string_view element;   // RegistrationInfo's content
    std::u16string_view argument;  // the sddl argument, empty: VT_EMPTY
    LONG flags;
    HRESULT answer;
    std::u16string_view applied;  // the task's descriptor afterwards (owner and DACL), empty: none made
};

constexpr LONG create = TASK_CREATE_OR_UPDATE;
const DescriptorCase descriptor_cases[] = {
    {"definitions", u"<SecurityDescriptor>O:BAD:(A;;0x1f01ff;;;BA)</SecurityDescriptor>", u"", create, S_OK,
     u"O:BAD:(A;;FA;;;BA)"},
    {"argument wins", u"<SecurityDescriptor>O:BAD:(A;;FA;;;BA)</SecurityDescriptor>", u"O:BAD:(A;;FA;;;SY)(A;;FA;;;WD)", create,
     S_OK, u"O:BAD:(A;;FA;;;SY)(A;;FA;;;WD)"},
    {"empty names none", u"<SecurityDescriptor></SecurityDescriptor>", u"O:BAD:(A;;FA;;;SY)(A;;FA;;;WD)", create, S_OK,
     u"O:BAD:(A;;FA;;;SY)(A;;FA;;;WD)"},
    {"unreadable", u"<SecurityDescriptor>D:(A;;FA;;;</SecurityDescriptor>", u"", create,
     HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), u""},
    {"unreadable under argument", u"<SecurityDescriptor>D:(A;;FA;;;</SecurityDescriptor>", u"O:BAD:(A;;FA;;;SY)(A;;FA;;;WD)", create,
     HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), u""},
    {"unreadable validated", u"<SecurityDescriptor>D:(Q;;FA;;;BA)</SecurityDescriptor>", u"", TASK_VALIDATE_ONLY,
     HRESULT_FROM_WIN32(1336 /* ERROR_INVALID_ACL */), u""},
    {"readable validated", u"<SecurityDescriptor>D:(A;;FA;;;BA)</SecurityDescriptor>", u"", TASK_VALIDATE_ONLY, S_OK,
     u""},
};

class DefinitionSecurity : public TaskServiceTest, public ::testing::WithParamInterface<DescriptorCase> {};

TEST_P(DefinitionSecurity, AppliesTheDefinitionsDescriptor) {
    const DescriptorCase& given = GetParam();
    const std::u16string xml = with_registration_info(given.element);
    const Text xml_text(xml);
    const Text argument_text(given.argument);
    VARIANT argument{};
    if (!given.argument.empty()) {
        argument.vt = VT_BSTR;
        argument.bstrVal = argument_text.get();
    }
    Ref<IRegisteredTask> task;
    EXPECT_EQ(root_->RegisterTask(Text(u"T").get(), xml_text.get(), given.flags, VARIANT{}, VARIANT{},
                                  TASK_LOGON_INTERACTIVE_TOKEN, argument, task.put()),
              given.answer);
    if (given.applied.empty()) {
        EXPECT_EQ(get_task(u"T"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        return;
    }
    ASSERT_TRUE(task);
    Bstr applied;
    EXPECT_EQ(task->GetSecurityDescriptor(0x5 /* owner, DACL */, applied.put()), S_OK);
    EXPECT_EQ(view(applied), given.applied);
    // The definition is kept as registered, its descriptor's text as written.
    Bstr kept;
    EXPECT_EQ(task->get_Xml(kept.put()), S_OK);
    EXPECT_EQ(view(kept), xml);
}

INSTANTIATE_TEST_SUITE_P(Cases, DefinitionSecurity, ::testing::ValuesIn(descriptor_cases),
                         [](const auto& info) {
                             std::string label = info.param.label;
                             for (char& c : label) if (c == ' ') c = '_';
                             return label;
                         });

}  // namespace
