// combase_test.cpp: combase.dll through LoadLibraryExA/GetProcAddress, RoOriginateError and HSTRINGs.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "com_test_support.hpp"

namespace {

using winemu_test::on_fresh_thread;
using winemu_test::take_error_info;
using winemu_test::take_restricted_details;

using RoOriginateErrorFunction = BOOL(WINAPI*)(HRESULT, HSTRING);

// Reaches RoOriginateError the way callers on Windows do. The handle is freed again: the COM
// runtime keeps combase loaded, so the address stays good.
RoOriginateErrorFunction find_ro_originate_error() {
    HMODULE combase = LoadLibraryExA("combase.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!combase) return nullptr;
    const FARPROC address = GetProcAddress(combase, "RoOriginateError");
    FreeLibrary(combase);
    return reinterpret_cast<RoOriginateErrorFunction>(reinterpret_cast<void (*)()>(address));
}

// An HSTRING made from a text, owned.
class Hstring : public morvane::UniqueHandle<HSTRING, &WindowsDeleteString> {
public:
    explicit Hstring(std::u16string_view text) {
        EXPECT_EQ(WindowsCreateString(text.data(), static_cast<UINT32>(text.size()), put()), S_OK);
    }
};

class Combase : public ::testing::Test {
protected:
    void SetUp() override {
        winemu_clear_faults();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }
    void TearDown() override {
        take_error_info();
        CoUninitialize();
        winemu_clear_faults();
        winemu_test::expect_nothing_outstanding();
    }
};

struct LibraryCase {
    const char* name;
    bool found;
};

TEST_F(Combase, OnlyCombaseIsKnownWhateverItsCase) {
    const LibraryCase cases[] = {
        {"combase.dll", true}, {"COMBASE.DLL", true}, {"CoMbAsE.dLl", true}, {"combase", true},
        {"ole32.dll", false},  {"combase.dl", false}, {"", false},          {"combase.dll ", false},
    };
    for (const LibraryCase& c : cases) {
        HMODULE module = LoadLibraryExA(c.name, nullptr, 0);
        EXPECT_EQ(module != nullptr, c.found) << c.name;
        if (module) {
            EXPECT_EQ(FreeLibrary(module), TRUE);
        } else {
            EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND) << c.name;
        }
    }
    EXPECT_EQ(LoadLibraryExA(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Combase, ExportsAreFoundByExactName) {
    HMODULE combase = LoadLibraryExA("combase.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    ASSERT_NE(combase, nullptr);
    for (const char* name : {"RoOriginateError", "WindowsCreateString", "WindowsDeleteString",
                             "WindowsGetStringRawBuffer"})
        EXPECT_NE(GetProcAddress(combase, name), nullptr) << name;
    for (const char* name : {"rooriginateerror", "RoOriginateErrorW", "CoInitializeEx", ""}) {
        EXPECT_EQ(GetProcAddress(combase, name), nullptr) << name;
        EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND) << name;
    }
    EXPECT_EQ(GetProcAddress(combase, reinterpret_cast<LPCSTR>(std::uintptr_t{12})), nullptr) << "an ordinal";
    EXPECT_EQ(GetProcAddress(nullptr, "RoOriginateError"), nullptr);
    EXPECT_EQ(FreeLibrary(nullptr), FALSE);
    EXPECT_EQ(FreeLibrary(combase), TRUE);
}

// Each load is counted until it is freed; freeing more often than loading is misuse.
TEST_F(Combase, LoadsAreCountedUntilFreed) {
    HMODULE first = LoadLibraryExA("combase.dll", nullptr, 0);
    HMODULE second = LoadLibraryExA("combase", nullptr, 0);
    EXPECT_EQ(winemu_outstanding().libraries, 2);
    EXPECT_EQ(FreeLibrary(first), TRUE);
    EXPECT_EQ(FreeLibrary(second), TRUE);
    EXPECT_EQ(winemu_outstanding().libraries, 0);
    EXPECT_EQ(FreeLibrary(second), TRUE) << "combase stays loaded: the handle is still good";
    EXPECT_NE(winemu_test::violations().find("FreeLibrary of combase.dll more often"), std::string::npos);
    winemu_clear_violations();
}

TEST_F(Combase, LibraryCallsCanBeFaulted) {
    winemu_fail_next("LoadLibraryExA", E_FAIL, nullptr, nullptr);
    EXPECT_EQ(LoadLibraryExA("combase.dll", nullptr, 0), nullptr);
    HMODULE combase = LoadLibraryExA("combase.dll", nullptr, 0);
    ASSERT_NE(combase, nullptr);
    winemu_fail_next("GetProcAddress", S_OK, nullptr, nullptr);
    EXPECT_EQ(GetProcAddress(combase, "RoOriginateError"), nullptr);
    EXPECT_NE(GetProcAddress(combase, "RoOriginateError"), nullptr);
    EXPECT_EQ(FreeLibrary(combase), TRUE);
}

TEST_F(Combase, RoOriginateErrorLeavesARestrictedObjectWithTheMessage) {
    const auto originate = find_ro_originate_error();
    ASSERT_NE(originate, nullptr);
    Hstring message(u"The task is busy");
    EXPECT_EQ(originate(E_ACCESSDENIED, message.get()), TRUE);
    const auto details = take_restricted_details();
    ASSERT_TRUE(details);
    EXPECT_EQ(details->error, E_ACCESSDENIED);
    EXPECT_EQ(details->description, u"Access is denied.\r\n");
    EXPECT_EQ(details->restricted_description, u"The task is busy");
    EXPECT_TRUE(details->sid_null);
}

TEST_F(Combase, RoOriginateErrorWithoutMessageOrKnownCode) {
    EXPECT_EQ(RoOriginateError(static_cast<HRESULT>(0x8ABC0002u), nullptr), TRUE);
    const auto details = take_restricted_details();
    ASSERT_TRUE(details);
    EXPECT_EQ(details->error, static_cast<HRESULT>(0x8ABC0002u));
    EXPECT_TRUE(details->description_null) << "no system text for the code";
    EXPECT_TRUE(details->restricted_null) << "the null HSTRING is the empty message";
}

TEST_F(Combase, RoOriginateErrorReplacesTheThreadObject) {
    winemu_set_plain_error("older");
    Hstring message(u"newer");
    EXPECT_EQ(RoOriginateError(E_FAIL, message.get()), TRUE);
    const auto details = take_restricted_details();
    ASSERT_TRUE(details);
    EXPECT_EQ(details->restricted_description, u"newer");
}

TEST_F(Combase, RoOriginateErrorIgnoresSuccessCodes) {
    Hstring message(u"nothing wrong");
    for (const HRESULT success : {S_OK, S_FALSE, static_cast<HRESULT>(0x00041300)}) {
        EXPECT_EQ(RoOriginateError(success, message.get()), FALSE);
        EXPECT_FALSE(take_error_info());
    }
}

TEST_F(Combase, RoOriginateErrorCutsTheMessageAtItsFirstNulAnd511Units) {
    Hstring with_nul(std::u16string_view(u"before\0after", 12));
    RoOriginateError(E_FAIL, with_nul.get());
    EXPECT_EQ(take_restricted_details()->restricted_description, u"before");

    const std::u16string long_text(600, u'x');
    Hstring long_message(long_text);
    RoOriginateError(E_FAIL, long_message.get());
    EXPECT_EQ(take_restricted_details()->restricted_description, long_text.substr(0, 511));
}

TEST_F(Combase, RoOriginateErrorOutsideAnApartmentLeavesNothing) {
    on_fresh_thread([] {
        Hstring message(u"no channel");
        EXPECT_EQ(RoOriginateError(E_FAIL, message.get()), TRUE);
        EXPECT_FALSE(take_error_info());
    });
}

TEST_F(Combase, RoOriginateErrorFaultOriginatesNothing) {
    winemu_fail_next("RoOriginateError", E_FAIL, nullptr, nullptr);
    Hstring message(u"lost");
    EXPECT_EQ(RoOriginateError(E_ACCESSDENIED, message.get()), FALSE);
    EXPECT_FALSE(take_error_info());
}

TEST_F(Combase, HstringsHoldCountedTextAndTheEmptyStringIsNull) {
    const std::u16string_view text(u"a\0b\xD83D\xDE00", 5);
    HSTRING string = nullptr;
    ASSERT_EQ(WindowsCreateString(text.data(), static_cast<UINT32>(text.size()), &string), S_OK);
    EXPECT_EQ(winemu_outstanding().buffers, 1);
    UINT32 length = 0;
    const PCNZWCH units = WindowsGetStringRawBuffer(string, &length);
    EXPECT_EQ(std::u16string_view(units, length), text);
    EXPECT_EQ(units[length], u'\0');
    EXPECT_EQ(WindowsDeleteString(string), S_OK);

    HSTRING empty = reinterpret_cast<HSTRING>(0x1);
    EXPECT_EQ(WindowsCreateString(u"ignored", 0, &empty), S_OK);
    EXPECT_EQ(empty, nullptr);
    EXPECT_EQ(*WindowsGetStringRawBuffer(nullptr, &length), u'\0');
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(WindowsDeleteString(nullptr), S_OK);
}

TEST_F(Combase, WindowsCreateStringChecksItsArguments) {
    HSTRING string = nullptr;
    EXPECT_EQ(WindowsCreateString(u"x", 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(WindowsCreateString(nullptr, 3, &string), E_POINTER);
    EXPECT_EQ(WindowsCreateString(nullptr, 0, &string), S_OK);
    EXPECT_EQ(string, nullptr);
    winemu_fail_next("WindowsCreateString", E_OUTOFMEMORY, nullptr, nullptr);
    EXPECT_EQ(WindowsCreateString(u"x", 1, &string), E_OUTOFMEMORY);
    EXPECT_EQ(string, nullptr);
}

}  // namespace
