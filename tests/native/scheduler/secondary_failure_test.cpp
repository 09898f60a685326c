// secondary_failure_test.cpp: failures met while a failure is captured or rendered, one table:
// each leaves the first failure's code, no error object on the thread, and (through the fixture)
// nothing outstanding and no misuse; a platform that fails again at every step stops at a depth.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <winemu/control.h>

#include "scheduler/platform_error.hpp"
#include "scheduler_fixture.hpp"

namespace morvane::scheduler {
namespace {

using namespace testing_support;

// The error object the first failure leaves: a restricted one about its code, or a plain one
// that only a second look finds (the first GetErrorInfo fails and leaves it).
enum class FirstObject { restricted, found_later };

struct SecondaryCase {
    const char* name;
    FirstObject first;
    const char* failing_call;  // fails once with E_ACCESSDENIED
    bool leaves_object;        // and leaves a fresh error object (COM calls do, FormatMessageW not)
    std::string text;          // the rendered text of the first failure
};

class SecondaryFailures : public testing_support::SchedulerTest {};

TEST_F(SecondaryFailures, LeaveTheCodeAndNothingBehind) {
    const std::string system_text = "Unspecified error (0x80004005)";
    const std::vector<SecondaryCase> cases = {
        {"CapturePropagationContext", FirstObject::restricted, "CapturePropagationContext", true, system_text},
        {"GetErrorDetails", FirstObject::restricted, "GetErrorDetails", true, system_text},
        {"GetDescription of a later object", FirstObject::found_later, "GetDescription", true, system_text},
        {"combase without RoOriginateError", FirstObject::found_later, "GetProcAddress", false, system_text},
        {"combase not loaded", FirstObject::found_later, "LoadLibraryExA", false, system_text},
        {"FormatMessageW", FirstObject::restricted, "FormatMessageW", false, "0x80004005"},
    };
    for (const SecondaryCase& c : cases) {
        testing_support::run_on_thread(testing_support::StartApartment::multithreaded, [&] {
            if (c.first == FirstObject::restricted)
                winemu_set_restricted_error(kAccessDenied, "about another code", "so the system text is used");
            else
                winemu_fail_next("GetErrorInfo", kAccessDenied, nullptr, "found later");
            winemu_fail_next(c.failing_call, kAccessDenied, c.leaves_object ? "secondary" : nullptr, nullptr);
            const PlatformError error = PlatformError::from_hresult(kFailed);
            EXPECT_EQ(error.code(), kFailed) << c.name;
            EXPECT_EQ(error.to_text(), c.text) << c.name;
            EXPECT_FALSE(thread_has_error_object()) << c.name;
            EXPECT_EQ(winemu_pending_faults(), 0u) << c.name << ": the failing call was never made";
            winemu_clear_faults();
        });
        testing_support::expect_nothing_outstanding();
    }
}

// Every CapturePropagationContext fails and leaves a fresh restricted object, so every capture
// of a secondary failure meets another one: the nesting stops after a few levels, and the first
// failure keeps its own detail.
TEST_F(SecondaryFailures, AFailingPlatformStopsAtTheNestingLimit) {
    constexpr unsigned kQueued = 1000;
    winemu_set_restricted_error(kFailed, "d", "first");
    for (unsigned i = 0; i < kQueued; ++i)
        winemu_fail_next("CapturePropagationContext", kAccessDenied, "again", nullptr);
    const PlatformError error = PlatformError::from_hresult(kFailed);
    const std::size_t used = kQueued - winemu_pending_faults();
    winemu_clear_faults();
    EXPECT_EQ(error.code(), kFailed);
    EXPECT_EQ(error.to_text(), "first (0x80004005)");
    EXPECT_GE(used, 2u);
    EXPECT_LE(used, 8u) << "captures of secondary failures nest without a bound";
    EXPECT_FALSE(thread_has_error_object());
}

}  // namespace
}  // namespace morvane::scheduler
