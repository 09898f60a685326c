// runtime_test.cpp: InternalFailure's report on standard error, the last-resort report and abort,
// Result's refusal to hand out the half it does not hold, passing a failure on, and the immortal
// holder.
#include <cstdlib>
#include <memory>
#include <string>
#include <variant>

#include <gtest/gtest.h>

#include "runtime/immortal.hpp"
#include "runtime/internal_failure.hpp"
#include "runtime/last_resort.hpp"
#include "runtime/result.hpp"

namespace morvane {
namespace {

class BacktraceSetting {
public:
    explicit BacktraceSetting(const char* value) {
        if (value == nullptr) {
            unsetenv("MORVANE_BACKTRACE");
        } else {
            setenv("MORVANE_BACKTRACE", value, 1);
        }
    }
    ~BacktraceSetting() { unsetenv("MORVANE_BACKTRACE"); }
};

std::string report_of(const char* text, const char* backtrace_setting) {
    const BacktraceSetting setting(backtrace_setting);
    ::testing::internal::CaptureStderr();
    const InternalFailure failure(text);
    return ::testing::internal::GetCapturedStderr();
}

TEST(InternalFailure, ReportsItsTextAndWhereItStarted) {
    const std::string report = report_of("the invariant broke", nullptr);
    EXPECT_NE(report.find("the invariant broke"), std::string::npos) << report;
    EXPECT_NE(report.find("runtime_test.cpp:"), std::string::npos) << report;
    EXPECT_EQ(report.find("backtrace"), std::string::npos) << report;
}

TEST(InternalFailure, AddsABacktraceOnlyWhenTheEnvironmentAsksForIt) {
    EXPECT_NE(report_of("x", "1").find("backtrace"), std::string::npos);
    EXPECT_EQ(report_of("x", "0").find("backtrace"), std::string::npos);
    EXPECT_EQ(report_of("x", "").find("backtrace"), std::string::npos);
}

TEST(InternalFailure, CarriesItsTextOrNothing) {
    ::testing::internal::CaptureStderr();
    const InternalFailure with_text("payload");
    const InternalFailure without_text;
    const InternalFailure copy = with_text;
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(with_text.text(), "payload");
    EXPECT_EQ(copy.text(), "payload");
    EXPECT_FALSE(without_text.text().has_value());
    EXPECT_STRNE(without_text.what(), "");
    EXPECT_EQ(report.find("payload"), report.rfind("payload")) << "a copy reports again:\n" << report;
}

TEST(LastResortDeathTest, WritesTheReportAndAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(abort_with_last_resort_report("what escaped"), "uncaught panic at ffi boundary: what escaped");
    EXPECT_DEATH(
        {
            try {
                throw InternalFailure("lost failure");
            } catch (...) {
                abort_for_current_exception();
            }
        },
        "uncaught panic at ffi boundary: lost failure");
}

TEST(Result, ReadingTheMissingHalfIsAnInternalFailure) {
    ::testing::internal::CaptureStderr();
    Result<int, std::string> failed = Err{std::string("no")};
    Result<void, std::string> succeeded;
    EXPECT_THROW((void)failed.value(), InternalFailure);
    EXPECT_THROW((void)succeeded.error(), InternalFailure);
    EXPECT_EQ(failed.error(), "no");
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("runtime_test.cpp:"), std::string::npos) << "reported where it was misused:\n" << report;
}

// A failure passes on unchanged (into a caller whose Result holds another value and a wider failure
// type); a success goes on to the next step; the checked expression runs once either way.
TEST(Result, PassingAFailureOnReturnsItAndGoesOnAfterSuccess) {
    using Wide = std::variant<int, std::string>;
    int evaluations = 0;
    auto step = [&](Result<void, std::string> outcome) -> Result<double, Wide> {
        MORVANE_RETURN_IF_FAILED(++evaluations, outcome);
        Result<int, std::string> counted = 7;
        MORVANE_RETURN_IF_FAILED(counted);
        return counted.value() * 0.5;
    };

    Result<double, Wide> failed = step(Err{std::string("refused")});
    ASSERT_FALSE(failed);
    EXPECT_EQ(std::get<std::string>(failed.error()), "refused");
    Result<double, Wide> succeeded = step({});
    ASSERT_TRUE(succeeded);
    EXPECT_EQ(succeeded.value(), 3.5);
    EXPECT_EQ(evaluations, 2);
}

// What is made immortal is never released: its last owner's count stays up.
TEST(Immortal, KeepsWhatItIsGivenForTheRestOfTheProcess) {
    auto shared = std::make_shared<int>(1);
    std::weak_ptr<int> watch = shared;
    make_immortal(std::move(shared));
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(watch.use_count(), 1);
}

}  // namespace
}  // namespace morvane
