// fault_sweep_test.cpp: every platform call of every operation made to fail in turn, from every
// starting apartment: the right label and code, and nothing left behind.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <winemu/control.h>

#include "scheduler/own_connection.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler_fixture.hpp"

namespace morvane::scheduler {
namespace {

using namespace testing_support;

constexpr std::string_view kTaskName = "Sweep";

constexpr HRESULT kOutOfMemory = hr(0x8007000Eu);
constexpr HRESULT kServerUnavailable = hr(0x800706BAu);
constexpr HRESULT kNoObject = 0;  // "reports success but hands back no object"

struct SweepCase {
    Operation operation;
    const char* call;
    HRESULT fault;
    const char* expected_label;
    HRESULT expected_code;
};

// For gtest's report of a failing case (it would otherwise dump the raw bytes, padding included).
void PrintTo(const SweepCase& sweep, std::ostream* out) {
    char fault[11];
    std::snprintf(fault, sizeof fault, "0x%08X", static_cast<unsigned>(sweep.fault));
    *out << name_of(sweep.operation) << ": " << sweep.call << " fails with " << fault;
}

// Opening the connection: the same calls, first, in every operation.
struct OpeningCase {
    const char* call;
    HRESULT fault;
    const char* expected_label;
    HRESULT expected_code;
};
constexpr OpeningCase kOpening[] = {
    // clang-format off
    {"CoInitializeEx",   kOutOfMemory,       "CoInitializeEx",   kOutOfMemory},
    {"CoCreateInstance", kAccessDenied,      "CoCreateInstance", kAccessDenied},
    {"CoCreateInstance", kNoObject,          "CoCreateInstance", 0},
    {"Connect",          kServerUnavailable, "Connect",          kServerUnavailable},
    {"GetFolder",        kFailed,            "GetFolder",        kFailed},
    {"GetFolder",        kNoObject,          "GetFolder",        0},
    // clang-format on
};

// The calls after opening, each operation's own.
constexpr SweepCase kOwnCalls[] = {
    // clang-format off
    {Operation::run_task,     "GetTask",      kAccessDenied, "GetTask",      kAccessDenied},
    {Operation::run_task,     "GetTask",      kNoObject,     "GetTask",      0},
    {Operation::run_task,     "RunEx",        kFailed,       "RunEx",        kFailed},
    {Operation::run_task,     "RunEx",        kNoObject,     "RunEx",        0},
    {Operation::delete_task,  "DeleteTask",   kAccessDenied, "DeleteTask",   kAccessDenied},
    {Operation::task_exists,  "GetTask",      kAccessDenied, "GetTask",      kAccessDenied},
    {Operation::task_exists,  "GetTask",      kNoObject,     "GetTask",      0},
    {Operation::register_xml, "RegisterTask", kAccessDenied, "RegisterTask", kAccessDenied},
    {Operation::register_xml, "RegisterTask", kNoObject,     "RegisterTask", 0},
    // clang-format on
};

std::vector<SweepCase> sweep_cases() {
    std::vector<SweepCase> cases;
    for (Operation operation :
         {Operation::run_task, Operation::delete_task, Operation::task_exists, Operation::register_xml}) {
        for (const OpeningCase& opening : kOpening)
            cases.push_back({operation, opening.call, opening.fault, opening.expected_label, opening.expected_code});
    }
    cases.insert(cases.end(), std::begin(kOwnCalls), std::end(kOwnCalls));
    return cases;
}

class FaultSweep : public testing_support::SchedulerTest,
                   public ::testing::WithParamInterface<std::tuple<SweepCase, StartApartment>> {};

// A failure carries a restricted description, which must become the message; "no object" reads
// no error information, so its message is the system's text for code 0.
TEST_P(FaultSweep, FailsWithLabelAndCodeAndGivesEverythingBack) {
    const auto& [sweep, apartment] = GetParam();
    const bool with_object = sweep.fault != kNoObject;
    testing_support::run_on_thread(apartment, [&] {
        // run_task and delete_task get as far as their own calls only when the task exists.
        ASSERT_TRUE(with_own_connection(register_xml, kTaskName, kTaskXml));
        const long long apartments_before = winemu_outstanding().apartments;

        winemu_fail_next(sweep.call, sweep.fault, with_object ? "injected detail" : nullptr, nullptr);
        const std::optional<SchedulerError> error = perform(sweep.operation, kTaskName);

        ASSERT_TRUE(error.has_value()) << "the operation ignored the fault";
        SCOPED_TRACE(testing_support::describe(*error));
        EXPECT_EQ(error->operation, sweep.expected_label);
        EXPECT_EQ(error->code, sweep.expected_code);
        if (with_object) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "injected detail (0x%08X)",
                          static_cast<unsigned>(sweep.expected_code));
            EXPECT_EQ(error->message, expected);
        } else {
            EXPECT_EQ(error->message, "The operation completed successfully. (0x00000000)");
        }
        EXPECT_EQ(winemu_pending_faults(), 0u);
        const winemu_outstanding_counts counts = winemu_outstanding();
        EXPECT_EQ(counts.objects, 0) << "an object or the thread's error object was left";
        EXPECT_EQ(counts.bstrs, 0);
        EXPECT_EQ(counts.buffers, 0);
        EXPECT_EQ(counts.libraries, 0);
        EXPECT_EQ(counts.mta_usages, 0);
        EXPECT_EQ(counts.apartments, apartments_before);
        EXPECT_EQ(testing_support::violations(), "[]");
    });
}

std::string case_name(const ::testing::TestParamInfo<FaultSweep::ParamType>& info) {
    const auto& [sweep, apartment] = info.param;
    return std::string(name_of(sweep.operation)) + "_" + sweep.call + (sweep.fault == kNoObject ? "_NoObject" : "") +
           "_" + testing_support::name_of(apartment);
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FaultSweep,
                         ::testing::Combine(::testing::ValuesIn(sweep_cases()),
                                            ::testing::Values(StartApartment::none, StartApartment::single_threaded,
                                                              StartApartment::multithreaded)),
                         case_name);

}  // namespace
}  // namespace morvane::scheduler
