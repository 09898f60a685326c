// types_test.cpp: the SDK types as callers rely on them: sizes, layouts, GUID values, HRESULT helpers.
#include <cstddef>
#include <cstdio>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>
#include <winemu/windows.h>

namespace {

static_assert(std::is_same_v<WCHAR, char16_t> && sizeof(WCHAR) == 2, "WCHAR is a 16-bit unit");
static_assert(std::is_same_v<BSTR, OLECHAR*> && std::is_same_v<OLECHAR, WCHAR>);
static_assert(sizeof(HRESULT) == 4 && std::is_signed_v<HRESULT>, "HRESULT is a signed 32-bit value");
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(VARIANT) == 24 && alignof(VARIANT) == 8);
static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, llVal) == 8, "the value follows vt and 3 reserved words");

// The registry form of a GUID: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, upper case.
std::string registry_form(const GUID& guid) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

struct GuidCase {
    const char* name;
    const GUID& guid;
    const char* documented;
};

// The values as the Windows SDK headers and the interfaces' documentation give them.
TEST(Types, GuidsHaveTheirDocumentedValues) {
    const GuidCase cases[] = {
        {"IID_IUnknown", IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"},
        {"IID_IDispatch", IID_IDispatch, "{00020400-0000-0000-C000-000000000046}"},
        {"IID_IErrorInfo", IID_IErrorInfo, "{1CF2B120-547D-101B-8E65-08002B2BD119}"},
        {"IID_IRestrictedErrorInfo", IID_IRestrictedErrorInfo, "{82BA7092-4C88-427D-A7BC-16DD93FEB67E}"},
        {"IID_ILanguageExceptionErrorInfo", IID_ILanguageExceptionErrorInfo,
         "{04A2DBF3-DF83-116C-0946-0812ABF6E07D}"},
        {"IID_ILanguageExceptionErrorInfo2", IID_ILanguageExceptionErrorInfo2,
         "{5746E5C4-5B97-424C-B620-2822915734DD}"},
        {"CLSID_TaskScheduler", CLSID_TaskScheduler, "{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}"},
        {"IID_ITaskService", IID_ITaskService, "{2FABA4C7-4DA9-4013-9697-20CC3FD40F85}"},
        {"IID_ITaskFolder", IID_ITaskFolder, "{8CFAC062-A080-4C15-9A88-AA7C2AF80DFC}"},
        {"IID_IRegisteredTask", IID_IRegisteredTask, "{9C86F320-DEE3-4DD1-B972-A303F26B061E}"},
        {"IID_IRunningTask", IID_IRunningTask, "{653758FB-7B9A-4F1E-A471-BEEB8E9B834E}"},
    };
    for (const GuidCase& c : cases) EXPECT_EQ(registry_form(c.guid), c.documented) << c.name;
}

TEST(Types, GuidsCompareByEveryByte) {
    GUID other = IID_IErrorInfo;
    EXPECT_TRUE(IsEqualGUID(other, IID_IErrorInfo));
    other.Data4[7] ^= 1;
    EXPECT_FALSE(IsEqualGUID(other, IID_IErrorInfo));
    EXPECT_NE(other, IID_IErrorInfo);
}

TEST(Types, HresultFromWin32KeepsZeroAndHresultsAndMapsWin32Codes) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_NAME), static_cast<HRESULT>(0x8007007Bu));
    EXPECT_EQ(HRESULT_FROM_WIN32(0x80041316u), SCHED_E_UNEXPECTEDNODE) << "already an HRESULT";
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(E_FAIL));
}

}  // namespace
