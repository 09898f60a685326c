// message_table_test.cpp: FormatMessageW over the system table: a text of the system's shape for
// every code winemu answers, buffers, refusals.
#include <algorithm>
#include <string>
#include <string_view>

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

// Every code that winemu's calls answer, as an HRESULT or through GetLastError: a caller that
// renders a failure must find a text for each.
constexpr DWORD kLastErrors[] = {
    ERROR_SUCCESS, ERROR_INVALID_PARAMETER, ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND, 6 /*ERROR_INVALID_HANDLE*/,
    ERROR_NOT_ENOUGH_MEMORY, 122 /*ERROR_INSUFFICIENT_BUFFER*/, 317 /*ERROR_MR_MID_NOT_FOUND*/,
    1815 /*ERROR_RESOURCE_LANG_NOT_FOUND*/};
constexpr HRESULT kHresults[] = {
    E_POINTER, E_NOTIMPL, E_INVALIDARG, E_OUTOFMEMORY, E_ACCESSDENIED, E_UNEXPECTED, E_NOINTERFACE, E_FAIL,
    hresult_of(0x8000000Bu) /*E_BOUNDS*/, RPC_E_CHANGED_MODE, RPC_E_DISCONNECTED,
    hresult_of(0x8001010Eu) /*RPC_E_WRONG_THREAD*/, REGDB_E_CLASSNOTREG, CO_E_NOTINITIALIZED, CLASS_E_NOAGGREGATION,
    HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
    HRESULT_FROM_WIN32(112 /*ERROR_DISK_FULL*/), HRESULT_FROM_WIN32(ERROR_INVALID_NAME),
    HRESULT_FROM_WIN32(145 /*ERROR_DIR_NOT_EMPTY*/), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS),
    HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
    HRESULT_FROM_WIN32(267 /*ERROR_DIRECTORY*/), HRESULT_FROM_WIN32(1067 /*ERROR_PROCESS_ABORTED*/),
    HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED), HRESULT_FROM_WIN32(1392 /*ERROR_FILE_CORRUPT*/),
    HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), HRESULT_FROM_WIN32(1780 /*RPC_X_NULL_REF_POINTER*/),
    hresult_of(0x80041315u) /*SCHED_E_SERVICE_NOT_RUNNING*/, SCHED_E_UNEXPECTEDNODE, SCHED_E_NAMESPACE,
    SCHED_E_INVALIDVALUE, SCHED_E_MISSINGNODE, SCHED_E_MALFORMEDXML, SCHED_E_TOO_MANY_NODES,
    SCHED_E_INVALID_TASK_HASH, hresult_of(0x80041326u) /*SCHED_E_TASK_DISABLED*/,
};

// The shape of Windows' English system texts: one sentence-like line that starts with a capital
// (or an insert), ends with CR LF and holds no other control character, no doubled or trailing
// space; Win32 texts end their sentence with a full stop.
::testing::AssertionResult has_system_shape(const std::u16string& text, bool win32) {
    if (text.empty()) return ::testing::AssertionFailure() << "no text";
    if (text.size() < 3 || !text.ends_with(u"\r\n")) return ::testing::AssertionFailure() << "no CR LF at the end";
    const std::u16string_view line(text.data(), text.size() - 2);
    if (!(line[0] == u'%' || (line[0] >= u'A' && line[0] <= u'Z')))
        return ::testing::AssertionFailure() << "does not start with a capital";
    if (std::any_of(line.begin(), line.end(), [](char16_t unit) { return unit < u' '; }))
        return ::testing::AssertionFailure() << "a control character inside the line";
    if (line.find(u"  ") != line.npos || line.back() == u' ') return ::testing::AssertionFailure() << "stray space";
    if (win32 && line.back() != u'.') return ::testing::AssertionFailure() << "a Win32 text without its full stop";
    return ::testing::AssertionSuccess();
}

// A Win32 code's HRESULT form (0x8007xxxx) gives the code's own text.
TEST(MessageTable, EveryCodeWinemuAnswersHasATextOfTheSystemsShape) {
    for (const DWORD code : kLastErrors) {
        DWORD length = 0;
        const std::u16string text = system_text(code, &length);
        EXPECT_TRUE(has_system_shape(text, true)) << code;
        EXPECT_EQ(length, text.size()) << code;
    }
    for (const HRESULT hresult : kHresults) {
        const auto code = static_cast<DWORD>(hresult);
        const bool win32 = (code & 0xFFFF0000u) == 0x80070000u;
        DWORD length = 0;
        const std::u16string text = system_text(code, &length);
        EXPECT_TRUE(has_system_shape(text, win32)) << std::hex << code;
        EXPECT_EQ(length, text.size()) << std::hex << code;
        EXPECT_TRUE(!win32 || system_text(code & 0xFFFFu) == text) << "not the Win32 code's text: " << std::hex << code;
    }
    EXPECT_EQ(winemu_outstanding().buffers, 0);
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
    const std::u16string expected = system_text(5);
    WCHAR buffer[128];
    EXPECT_EQ(FormatMessageW(from_system, nullptr, 5, 0, buffer, 128, nullptr), expected.size());
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
    EXPECT_FALSE(system_text(5).empty());
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

}  // namespace
