// message_text_test.cpp: capture of the thread's error object, the message text rules, and the
// renderings of PlatformError and SchedulerError.
#include <string>

#include <gtest/gtest.h>

#include <winemu/control.h>

#include "scheduler/platform_error.hpp"
#include "scheduler/scheduler_error.hpp"
#include "scheduler/system_message.hpp"
#include "scheduler_fixture.hpp"

namespace morvane::scheduler {
namespace {

using namespace testing_support;

constexpr HRESULT kUnknownCode = hr(0x8BADF00Du);

std::string text_after_restricted_error(const char* description, const char* restricted, HRESULT left_code,
                                        HRESULT failing_code) {
    winemu_set_restricted_error(left_code, description, restricted);
    return PlatformError::from_hresult(failing_code).to_text();
}

class MessageText : public testing_support::SchedulerTest {};

TEST_F(MessageText, WithoutDetailTheSystemTextIsTrimmedAndFollowedByTheCode) {
    EXPECT_EQ(PlatformError::from_hresult(kAccessDenied).to_text(), "Access is denied. (0x80070005)");
    EXPECT_EQ(PlatformError::without_capture(0).to_text(), "The operation completed successfully. (0x00000000)");
}

TEST_F(MessageText, ACodeWithoutSystemTextIsTheCodeAlone) {
    EXPECT_EQ(PlatformError::from_hresult(kUnknownCode).to_text(), "0x8BADF00D");
    EXPECT_EQ(PlatformError::without_capture(hr(0x0000ABCDu)).to_text(), "0x0000ABCD");
}

TEST_F(MessageText, RestrictedDetailOfTheSameCodeIsPreferred) {
    // The restricted description first, then the description; each trimmed at the end only.
    EXPECT_EQ(text_after_restricted_error("general", "  specific \t\r\n", kFailed, kFailed),
              "  specific (0x80004005)");
    EXPECT_EQ(text_after_restricted_error("general\r\n", "", kFailed, kFailed), "general (0x80004005)");
    EXPECT_EQ(text_after_restricted_error("general\r\n", nullptr, kFailed, kFailed), "general (0x80004005)");
    EXPECT_EQ(text_after_restricted_error("line one\r\nline two\r\n", nullptr, kFailed, kFailed),
              "line one\r\nline two (0x80004005)");
}

// Trailing white space is U+0009 to U+000D and U+0020, nothing else: no other control character
// and none of Unicode's other spaces.
TEST_F(MessageText, TrailingWhiteSpaceIsExactlyTheSixCharacters) {
    const struct {
        const char* utf8;
        bool trimmed;
    } characters[] = {
        {"\t", true},       {"\n", true},           {"\v", true},           {"\f", true},
        {"\r", true},       {" ", true},             {"\x08", false},        {"\x0E", false},
        {"\x1F", false},    {"\u0085", false},      {"\u00A0", false},      {"\u1680", false},
        {"\u2000", false},  {"\u2028", false},      {"\u3000", false},      {"\uFEFF", false},
    };
    for (const auto& character : characters) {
        const std::string text = std::string("x") + character.utf8;
        EXPECT_EQ(text_after_restricted_error("d", text.c_str(), kFailed, kFailed),
                  (character.trimmed ? std::string("x") : text) + " (0x80004005)")
            << testing::PrintToString(character.utf8);
    }
}

TEST_F(MessageText, EmptyDetailStaysEmptyWithoutFallingBackToTheSystemText) {
    EXPECT_EQ(text_after_restricted_error(nullptr, nullptr, kFailed, kFailed), "0x80004005");
    EXPECT_EQ(text_after_restricted_error("", " \r\n", kFailed, kFailed), "0x80004005");
}

TEST_F(MessageText, DetailAboutAnotherCodeGivesWayToTheSystemText) {
    EXPECT_EQ(text_after_restricted_error("other", "other", kAccessDenied, kFailed), "Unspecified error (0x80004005)");
}

TEST_F(MessageText, APlainErrorObjectIsTakenAndIgnored) {
    winemu_set_plain_error("plain description");
    const PlatformError error = PlatformError::from_hresult(kFailed);
    EXPECT_FALSE(error.has_detail());
    EXPECT_FALSE(thread_has_error_object());
    EXPECT_EQ(error.to_text(), "Unspecified error (0x80004005)");
}

TEST_F(MessageText, CaptureTakesTheRestrictedObjectOffTheThreadAndDropReleasesIt) {
    const long long contexts_before = winemu_call_count("CapturePropagationContext");
    winemu_set_restricted_error(kFailed, "d", "r");
    {
        const PlatformError error = PlatformError::from_hresult(kFailed);
        EXPECT_TRUE(error.has_detail());
        EXPECT_FALSE(thread_has_error_object());
        EXPECT_EQ(winemu_call_count("CapturePropagationContext") - contexts_before, 1);
        EXPECT_EQ(error.to_text(), error.to_text()) << "rendering leaves the error unchanged";
    }
    EXPECT_EQ(winemu_outstanding().objects, 0);
}

// A plain object that appears after the first look is turned into a restricted one through
// RoOriginateError, whose description becomes the message (an apartment is needed for that).
TEST_F(MessageText, ALaterPlainObjectIsOriginatedAsARestrictedError) {
    testing_support::run_on_thread(testing_support::StartApartment::multithreaded, [] {
        winemu_fail_next("GetErrorInfo", kAccessDenied, nullptr, "found later\r\n");
        const PlatformError error = PlatformError::from_hresult(kFailed);
        EXPECT_TRUE(error.has_detail());
        EXPECT_EQ(error.to_text(), "found later (0x80004005)");
    });
}

TEST_F(MessageText, WithoutCombaseTheLaterObjectLeavesNoDetail) {
    testing_support::run_on_thread(testing_support::StartApartment::multithreaded, [] {
        winemu_fail_next("GetErrorInfo", kAccessDenied, nullptr, "found later");
        winemu_fail_next("LoadLibraryExA", hr(0x8007007Eu), nullptr, nullptr);
        const PlatformError error = PlatformError::from_hresult(kFailed);
        EXPECT_FALSE(error.has_detail());
        EXPECT_EQ(error.to_text(), "Unspecified error (0x80004005)");
    });
}

// Secondary failures never change the code and leave nothing behind.
TEST_F(MessageText, FailuresWhileRenderingFallBackQuietly) {
    winemu_set_restricted_error(kFailed, "d", "r");
    const PlatformError error = PlatformError::from_hresult(kFailed);
    winemu_fail_next("GetErrorDetails", kAccessDenied, nullptr, nullptr);
    EXPECT_EQ(error.to_text(), "Unspecified error (0x80004005)") << "no details: the system text";
    winemu_fail_next("FormatMessageW", hr(0x8007000Eu), nullptr, nullptr);
    EXPECT_EQ(PlatformError::without_capture(kFailed).to_text(), "0x80004005");
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

// A failure met while capturing is captured in turn and dropped: the error object it left does
// not stay on the thread, and the first failure keeps its own detail.
TEST_F(MessageText, FailuresWhileCapturingAreTakenOffTheThread) {
    winemu_set_restricted_error(kFailed, "d", "first");
    winemu_fail_next("CapturePropagationContext", kAccessDenied, "second", nullptr);
    const PlatformError error = PlatformError::from_hresult(kFailed);
    EXPECT_FALSE(thread_has_error_object());
    EXPECT_EQ(error.to_text(), "first (0x80004005)");
}

TEST_F(MessageText, DebugRenderingShowsCodeAndQuotedMessage) {
    EXPECT_EQ(PlatformError::without_capture(hr(0x8007000Eu)).debug_text(),
              "Error { code: HRESULT(0x8007000E), message: \"Not enough memory resources are available to complete "
              "this operation.\" }");
    EXPECT_EQ(PlatformError::without_capture(kUnknownCode).debug_text(),
              "Error { code: HRESULT(0x8BADF00D), message: \"\" }");
}

TEST_F(MessageText, SchedulerErrorKeepsCodeAndLabelAndReleasesTheDetail) {
    winemu_set_restricted_error(kAccessDenied, "d", "no entry");
    const SchedulerError error = SchedulerError::from_platform(PlatformError::from_hresult(kAccessDenied), "Connect");
    EXPECT_EQ(winemu_outstanding().objects, 0);
    EXPECT_EQ(error.message, "no entry (0x80070005)");
    EXPECT_EQ(error.code, kAccessDenied);
    EXPECT_EQ(error.operation, "Connect");
}

TEST_F(MessageText, SystemMessageOfAnUnknownCodeIsEmpty) {
    EXPECT_TRUE(system_message(kUnknownCode).empty());
    EXPECT_EQ(utf8_from_utf16(system_message(hr(0x80070002u))), "The system cannot find the file specified.");
}

}  // namespace
}  // namespace morvane::scheduler
