// message_table_test.cpp: FormatMessageW over the system table: exact texts, buffers, refusals.
#include <string>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

namespace {

constexpr DWORD allocate_from_system =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD from_system = FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

// The text as the scheduler client asks for it: an allocated buffer, freed with LocalFree.
std::u16string system_text(DWORD code, DWORD* length_out = nullptr) {
    LPWSTR buffer = nullptr;
    const DWORD length =
        FormatMessageW(allocate_from_system, nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length_out) *length_out = length;
    std::u16string text = buffer ? std::u16string(buffer, length) : std::u16string();
    LocalFree(buffer);
    return text;
}

struct MessageCase {
    DWORD code;
    std::u16string_view text;
};

TEST(MessageTable, WindowsEnglishTextsWithTheirLineBreak) {
    const MessageCase cases[] = {
        {0, u"The operation completed successfully.\r\n"},
        {0x80070002, u"The system cannot find the file specified.\r\n"},
        {0x80070003, u"The system cannot find the path specified.\r\n"},
        {0x80070005, u"Access is denied.\r\n"},
        {0x8007000E, u"Not enough memory resources are available to complete this operation.\r\n"},
        {0x80070057, u"The parameter is incorrect.\r\n"},
        {0x8007007B, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
        {0x800700B7, u"Cannot create a file when that file already exists.\r\n"},
        {0x800700CE, u"The filename or extension is too long.\r\n"},
        {0x800704E3, u"This operation is supported only when you are connected to the server.\r\n"},
        {0x80004001, u"Not implemented\r\n"},
        {0x80004002, u"No such interface supported\r\n"},
        {0x80004003, u"Invalid pointer\r\n"},
        {0x80004005, u"Unspecified error\r\n"},
        {0x8000FFFF, u"Catastrophic failure\r\n"},
        {0x800401F0, u"CoInitialize has not been called.\r\n"},
        {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
        {0x80040154, u"Class not registered\r\n"},
        {0x80040110, u"Class does not support aggregation (or class object is remote)\r\n"},
        {0x80041315, u"The Task Scheduler Service is not running.\r\n"},
        {0x80041316, u"The task XML contains an unexpected node.\r\n"},
        {0x80041317, u"The task XML contains an element or attribute from an unexpected namespace.\r\n"},
        {0x80041318, u"The task XML contains a value which is incorrectly formatted or out of range.\r\n"},
        {0x80041319, u"The task XML is missing a required element or attribute.\r\n"},
        {0x8004131A, u"The task XML is malformed.\r\n"},
        {317, u"The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
        {1815, u"The specified resource language ID cannot be found in the image file.\r\n"},
        {0x8000000B, u"The operation attempted to access data outside the valid range\r\n"},
        {0x8001010E, u"The application called an interface that was marshalled for a different thread.\r\n"},
    };
    for (const MessageCase& c : cases) {
        DWORD length = 0;
        EXPECT_EQ(system_text(c.code, &length), c.text) << std::hex << c.code;
        EXPECT_EQ(length, c.text.size()) << std::hex << c.code;
    }
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

// A caller that renders a failure of winemu finds a text for it: every code that winemu's calls
// return, as an HRESULT or through GetLastError.
TEST(MessageTable, EveryCodeWinemuReturnsHasAText) {
    const DWORD last_errors[] = {ERROR_INVALID_PARAMETER, ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND,
                                 6 /*ERROR_INVALID_HANDLE*/, ERROR_NOT_ENOUGH_MEMORY,
                                 122 /*ERROR_INSUFFICIENT_BUFFER*/, 317 /*ERROR_MR_MID_NOT_FOUND*/,
                                 1815 /*ERROR_RESOURCE_LANG_NOT_FOUND*/};
    const HRESULT hresults[] = {
        E_POINTER, E_NOTIMPL, E_INVALIDARG, E_OUTOFMEMORY, E_ACCESSDENIED, E_UNEXPECTED, E_NOINTERFACE, E_FAIL,
        RPC_E_CHANGED_MODE, REGDB_E_CLASSNOTREG, CO_E_NOTINITIALIZED, CLASS_E_NOAGGREGATION,
        HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
        HRESULT_FROM_WIN32(112 /*ERROR_DISK_FULL*/), HRESULT_FROM_WIN32(ERROR_INVALID_NAME),
        HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
        HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED), HRESULT_FROM_WIN32(1722 /*RPC_S_SERVER_UNAVAILABLE*/),
        HRESULT_FROM_WIN32(1780 /*RPC_X_NULL_REF_POINTER*/), SCHED_E_UNEXPECTEDNODE, SCHED_E_NAMESPACE,
        SCHED_E_INVALIDVALUE, SCHED_E_MISSINGNODE, SCHED_E_MALFORMEDXML,
    };
    for (const DWORD code : last_errors) {
        const std::u16string text = system_text(code);
        EXPECT_TRUE(text.size() > 2 && text.ends_with(u".\r\n")) << code;
    }
    for (const HRESULT code : hresults) {
        const std::u16string text = system_text(static_cast<DWORD>(code));
        EXPECT_TRUE(text.size() > 2 && text.ends_with(u"\r\n")) << std::hex << static_cast<DWORD>(code);
    }
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

TEST(MessageTable, Win32CodeAndItsHresultFormGiveTheSameText) {
    for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_NAME,
                             ERROR_ALREADY_EXISTS, ERROR_ONLY_IF_CONNECTED, ERROR_MOD_NOT_FOUND}) {
        const std::u16string plain = system_text(code);
        EXPECT_FALSE(plain.empty()) << code;
        EXPECT_EQ(plain, system_text(static_cast<DWORD>(HRESULT_FROM_WIN32(code)))) << code;
    }
}

TEST(MessageTable, UnknownCodesHaveNoTextAndNoBuffer) {
    for (const DWORD code : {0x8ABC0001u, 0x80079999u, 0x0000FFFFu, 0x00041300u, 0xFFFFFFFFu, 1u << 20}) {
        LPWSTR buffer = reinterpret_cast<LPWSTR>(0x1);
        EXPECT_EQ(FormatMessageW(allocate_from_system, nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr),
                  0u)
            << std::hex << code;
        EXPECT_EQ(buffer, nullptr);
        EXPECT_EQ(GetLastError(), 317u) << "ERROR_MR_MID_NOT_FOUND";
    }
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

TEST(MessageTable, BuffersAreCountedUntilLocalFree) {
    LPWSTR first = nullptr;
    LPWSTR second = nullptr;
    FormatMessageW(allocate_from_system, nullptr, 0x80070005, 0, reinterpret_cast<LPWSTR>(&first), 0, nullptr);
    FormatMessageW(allocate_from_system, nullptr, 0x80070005, 0, reinterpret_cast<LPWSTR>(&second), 0, nullptr);
    EXPECT_NE(first, second) << "each call allocates its own buffer";
    EXPECT_EQ(winemu_outstanding().buffers, 2);
    EXPECT_EQ(LocalFree(first), nullptr);
    EXPECT_EQ(LocalFree(second), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

TEST(MessageTable, CallersBufferNeedsRoomForTheNul) {
    const std::u16string_view expected = u"Access is denied.\r\n";
    WCHAR buffer[64];
    EXPECT_EQ(FormatMessageW(from_system, nullptr, 5, 0, buffer, 64, nullptr), expected.size());
    EXPECT_EQ(std::u16string_view(buffer), expected);

    const auto exact = static_cast<DWORD>(expected.size());
    EXPECT_EQ(FormatMessageW(from_system, nullptr, 5, 0, buffer, exact, nullptr), 0u);
    EXPECT_EQ(GetLastError(), 122u) << "ERROR_INSUFFICIENT_BUFFER";
    EXPECT_EQ(FormatMessageW(from_system, nullptr, 5, 0, buffer, exact + 1, nullptr), exact);
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

struct RefusalCase {
    const char* what;
    DWORD flags;
    DWORD language;
    bool null_buffer;
};

TEST(MessageTable, OtherFlagsLanguagesAndNullBuffersGiveNothing) {
    const RefusalCase cases[] = {
        {"without IGNORE_INSERTS", FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, 0, false},
        {"from a string", FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, 0, false},
        {"from a module", allocate_from_system | FORMAT_MESSAGE_FROM_HMODULE, 0, false},
        {"argument array", allocate_from_system | FORMAT_MESSAGE_ARGUMENT_ARRAY, 0, false},
        {"German", allocate_from_system, 0x0407, false},
        {"null buffer", allocate_from_system, 0, true},
    };
    for (const RefusalCase& c : cases) {
        LPWSTR buffer = nullptr;
        const auto target = c.null_buffer ? nullptr : reinterpret_cast<LPWSTR>(&buffer);
        EXPECT_EQ(FormatMessageW(c.flags, nullptr, 5, c.language, target, 0, nullptr), 0u) << c.what;
        EXPECT_EQ(buffer, nullptr) << c.what;
    }
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

TEST(MessageTable, EnglishAndNeutralLanguagesFindTheTable) {
    for (const DWORD language : {0x0000u, 0x0400u, 0x0800u, 0x0409u, 0x0809u}) {
        LPWSTR buffer = nullptr;
        EXPECT_GT(
            FormatMessageW(allocate_from_system, nullptr, 5, language, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr),
            0u)
            << std::hex << language;
        LocalFree(buffer);
    }
}

TEST(MessageTable, FaultGivesNoTextOnce) {
    winemu_clear_faults();
    winemu_fail_next("FormatMessageW", E_OUTOFMEMORY, nullptr, nullptr);
    EXPECT_TRUE(system_text(5).empty());
    EXPECT_EQ(system_text(5), u"Access is denied.\r\n");
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

}  // namespace
