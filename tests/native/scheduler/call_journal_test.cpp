// call_journal_test.cpp: the rules the platform calls of each operation keep, as the journal records
// them: the calls that must happen, in the order their objects demand; everything acquired given
// back exactly once and never used after; a failure captured first and its text made before
// anything is given back; S_FALSE from each service call is success. A harmless reordering passes.
#include <algorithm>
#include <cstdint>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <winemu/control.h>

#include "scheduler/own_connection.hpp"
#include "scheduler/platform_error.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler_fixture.hpp"

namespace morvane::scheduler {
namespace {

using namespace testing_support;

constexpr std::string_view kTaskName = "Journal";

// One journal record, with the objects named by the call that handed them out ("service",
// "folder", "task", "running"; "error" for anything else), so that the order of releases reads
// as data.
struct Call {
    std::string call;
    std::string arguments;
    std::string object;
    long long result;
    unsigned long long number;                // the object whose method it is; 0 for a function
    std::vector<unsigned long long> handed_out;  // the objects it handed out
    std::string text() const {
        if (object.empty()) return call + "(" + arguments + ")";
        return call + "(" + object + (arguments.empty() ? "" : ": " + arguments) + ")";
    }
    // A BSTR that the client made (its name, its definition, the root path), not one it was given.
    bool frees_own_bstr() const {
        return call == "SysFreeString" && (arguments == "bstr=\"\\\\\"" || arguments == "bstr=\"Journal\"" ||
                                           arguments.starts_with("bstr=\"<Task"));
    }
};

// The journal since `start`, without SysStringLen (a length query with no effect).
std::vector<Call> read_journal() {
    static const std::regex handed_out(R"((service|folder|task|running)=#(\d+))");
    std::map<unsigned long long, std::string> names;
    std::vector<Call> calls;
    winemu_journal_entry entry{};
    for (std::size_t index = 0; winemu_journal_record(index, &entry) == 0; ++index) {
        std::string arguments = entry.arguments;
        for (std::sregex_iterator it(arguments.begin(), arguments.end(), handed_out), end; it != end; ++it)
            names[std::stoull((*it)[2])] = (*it)[1];
        if (std::string_view(entry.call) == "SysStringLen") continue;
        std::vector<unsigned long long> handed_out;
        static const std::regex any_object(R"(=#(\d+))");
        for (std::sregex_iterator it(arguments.begin(), arguments.end(), any_object), end; it != end; ++it)
            handed_out.push_back(std::stoull((*it)[1]));
        arguments = std::regex_replace(arguments, std::regex("#\\d+"), "#");
        std::string object;
        if (entry.object != 0) object = names.contains(entry.object) ? names[entry.object] : "error";
        calls.push_back({entry.call, arguments, object, entry.result, entry.object, std::move(handed_out)});
    }
    return calls;
}

std::vector<std::string> texts(const std::vector<Call>& calls) {
    std::vector<std::string> out;
    for (const Call& call : calls) out.push_back(call.text());
    return out;
}

// Where the first call whose text starts with each of `prefixes` stands, in that order; the
// failing expectation names the first one missing.
::testing::AssertionResult made_in_order(const std::vector<Call>& calls, const std::vector<std::string>& prefixes) {
    auto from = calls.begin();
    for (const std::string& prefix : prefixes) {
        from = std::find_if(from, calls.end(), [&](const Call& call) { return call.text().starts_with(prefix); });
        if (from == calls.end()) return ::testing::AssertionFailure() << "no " << prefix << " after what came before";
        ++from;
    }
    return ::testing::AssertionSuccess();
}

// Each object the client was handed is released exactly once and never called after that; each
// BSTR it allocated is freed once (the success paths are handed no BSTR of the service's).
::testing::AssertionResult each_acquired_released_once(const std::vector<Call>& calls) {
    std::map<unsigned long long, int> references;
    long long bstrs = 0;
    for (const Call& call : calls) {
        if (call.number != 0 && references.contains(call.number) && references[call.number] == 0)
            return ::testing::AssertionFailure() << call.text() << " after its release";
        if (call.result >= 0)
            for (const unsigned long long object : call.handed_out) ++references[object];
        if (call.call == "Release" && --references[call.number] < 0)
            return ::testing::AssertionFailure() << call.text() << ": released once too often";
        if (call.call == "SysAllocStringLen" && call.result != 0) ++bstrs;
        if (call.call == "SysFreeString") --bstrs;
    }
    for (const auto& [object, count] : references)
        if (count != 0) return ::testing::AssertionFailure() << "object #" << object << " still held: " << count;
    if (bstrs != 0) return ::testing::AssertionFailure() << bstrs << " BSTR(s) not freed once";
    return ::testing::AssertionSuccess();
}

// The calls each operation must make, in the order their objects demand; the names and the
// definition reach the service as BSTRs.
const std::pair<Operation, std::vector<std::string>> kSuccessPaths[] = {
    {Operation::run_task, {"GetTask(folder: path=\"Journal\"", "RunEx(task:"}},
    {Operation::delete_task, {"DeleteTask(folder: name=\"Journal\", flags=0x0)"}},
    {Operation::task_exists, {"GetTask(folder: path=\"Journal\""}},
    {Operation::register_xml, {"RegisterTask(folder: path=\"Journal\", xml_length=" + std::to_string(kTaskXml.size()) +
                               ", flags=0x6"}},
};

class CallJournal : public testing_support::SchedulerTest {
protected:
    void TearDown() override {
        winemu_journal_stop();
        SchedulerTest::TearDown();
    }
};

// From a thread in no apartment: enter the apartment, reach the service and the root folder, do
// the operation's own call there, give everything back, and leave the apartment last.
TEST_F(CallJournal, SuccessPathsKeepTheRules) {
    for (const auto& [operation, own_calls] : kSuccessPaths) {
        testing_support::run_on_thread(StartApartment::none, [&] {
            ASSERT_TRUE(with_own_connection(register_xml, kTaskName, kTaskXml));
            winemu_journal_start();
            ASSERT_FALSE(perform(operation, kTaskName));
            winemu_journal_stop();
            const std::vector<Call> calls = read_journal();
            SCOPED_TRACE(::testing::PrintToString(texts(calls)));
            EXPECT_EQ(calls.front().call, "CoInitializeEx");
            std::vector<std::string> order = {"CoInitializeEx", "CoCreateInstance(class=\"TaskScheduler\"",
                                              "Connect(service:", "GetFolder(service: path=\"\\\\\""};
            order.insert(order.end(), own_calls.begin(), own_calls.end());
            EXPECT_TRUE(made_in_order(calls, order));
            EXPECT_TRUE(each_acquired_released_once(calls));
            EXPECT_EQ(calls.back().call, "CoUninitialize");
            testing_support::expect_nothing_outstanding();
        });
    }
}

constexpr HRESULT kNoObject = 0;

// The first look fails, so only the second finds this plain object.
void leave_later_object(const char* description) {
    winemu_fail_next("GetErrorInfo", kAccessDenied, nullptr, description);
}

// The capture of a failure (PlatformError::from_hresult, then dropping it), for each error object
// the failure may leave and each secondary failure on the way: the calls that must happen in
// their order, and those that must not happen at all.
struct CaptureCase {
    const char* name;
    void (*leave)();  // what the failing call leaves on the thread
    std::vector<std::string> in_order;
    std::vector<std::string> never;
};

const std::string kOriginate = "RoOriginateError(error=0x80004005, null_message=";

TEST_F(CallJournal, CaptureKeepsTheRules) {
    const CaptureCase cases[] = {
        {"restricted: its propagation context captured",
         [] { winemu_set_restricted_error(kFailed, "d", "r"); },
         {"GetErrorInfo(reserved=0, info=#)", "QueryInterface(error)", "CapturePropagationContext(error)"},
         {"RoOriginateError", "GetDescription"}},
        {"plain: released unread",
         [] { winemu_set_plain_error("plain"); },
         {"GetErrorInfo(reserved=0, info=#)", "QueryInterface(error)", "Release(error)"},
         {"RoOriginateError", "GetDescription", "CapturePropagationContext"}},
        {"later plain: originated with its description, the library and the string given back after",
         [] { leave_later_object("found later\r\n"); },
         {"GetErrorInfo(reserved=0)", "GetErrorInfo(reserved=0, info=#)", "GetDescription(error)",
          "LoadLibraryExA(name=\"combase.dll\"", "GetProcAddress(name=\"RoOriginateError\")",
          "WindowsCreateString(length=13)", kOriginate + "0)", "FreeLibrary()", "GetErrorInfo(reserved=0, info=#)"},
         {}},
        {"later plain, empty description: the null HSTRING",
         [] { leave_later_object(""); },
         {"GetDescription(error)", kOriginate + "1)", "FreeLibrary()"},
         {"WindowsCreateString"}},
        {"later plain, GetDescription fails: that failure captured, then the null HSTRING",
         [] {
             leave_later_object("found later");
             winemu_fail_next("GetDescription", kAccessDenied, "secondary", nullptr);
         },
         {"GetDescription(error)", "GetErrorInfo(reserved=0, info=#)", kOriginate + "1)"},
         {"WindowsCreateString"}},
        {"later plain, WindowsCreateString fails: that failure captured, then the null HSTRING",
         [] {
             leave_later_object("found later");
             winemu_fail_next("WindowsCreateString", kAccessDenied, "secondary", nullptr);
         },
         {"WindowsCreateString(length=11)", "GetErrorInfo(reserved=0, info=#)", kOriginate + "1)"},
         {kOriginate + "0)"}},
    };
    for (const CaptureCase& capture : cases) {
        testing_support::run_on_thread(StartApartment::multithreaded, [&] {
            capture.leave();
            winemu_journal_start();
            (void)PlatformError::from_hresult(kFailed);
            winemu_journal_stop();
            const std::vector<Call> calls = read_journal();
            SCOPED_TRACE(capture.name + ::testing::PrintToString(texts(calls)));
            EXPECT_EQ(calls.front().call, "GetErrorInfo") << "the failure is looked up before any other call";
            EXPECT_TRUE(made_in_order(calls, capture.in_order));
            for (const std::string& absent : capture.never) EXPECT_FALSE(made_in_order(calls, {absent})) << absent;
            EXPECT_EQ(winemu_pending_faults(), 0u);
            // Every error object, string, buffer and library handle the capture took is given back
            // (the thread stays in its apartment).
            const winemu_outstanding_counts held = winemu_outstanding();
            EXPECT_EQ(std::tuple(held.objects, held.bstrs, held.buffers, held.libraries), std::tuple(0, 0, 0, 0));
            EXPECT_EQ(testing_support::violations(), "[]");
        });
    }
}

struct FailureRow {
    Operation operation;
    const char* call;
    HRESULT fault;
};

const FailureRow kFailureRows[] = {
    // clang-format off
    {Operation::task_exists,  "CoCreateInstance", hr(0x80070005u)},
    {Operation::task_exists,  "CoCreateInstance", kNoObject},
    {Operation::run_task,     "Connect",          hr(0x800706BAu)},
    {Operation::delete_task,  "GetFolder",        hr(0x80004005u)},
    {Operation::register_xml, "GetFolder",        kNoObject},
    {Operation::run_task,     "GetTask",          hr(0x80070005u)},
    {Operation::run_task,     "GetTask",          kNoObject},
    {Operation::run_task,     "RunEx",            hr(0x80004005u)},
    {Operation::run_task,     "RunEx",            kNoObject},
    {Operation::delete_task,  "DeleteTask",       hr(0x80070005u)},
    {Operation::task_exists,  "GetTask",          hr(0x80070005u)},
    {Operation::register_xml, "RegisterTask",     hr(0x80070005u)},
    {Operation::register_xml, "RegisterTask",     kNoObject},
    // clang-format on
};

// What the text of a failure must come before: any object given back, the apartment left. (A BSTR
// argument may go back first: task_exists frees the name once the failure is captured.)
bool is_release_of_service_object(const Call& call) {
    return (call.call == "Release" && call.object != "error") || call.call == "CoUninitialize";
}

class FailureOrder : public testing_support::SchedulerTest,
                     public ::testing::WithParamInterface<std::tuple<FailureRow, StartApartment>> {
protected:
    void TearDown() override {
        winemu_journal_stop();
        SchedulerTest::TearDown();
    }
};

// A failure is captured before any other call, its text is made before anything is given back,
// objects and BSTRs go back in reverse order of acquisition, and CoUninitialize (when the
// operation entered the apartment) is the last call.
TEST_P(FailureOrder, CaptureThenTextThenReleaseInReverse) {
    const auto& [row, apartment] = GetParam();
    testing_support::run_on_thread(apartment, [&] {
        ASSERT_TRUE(with_own_connection(register_xml, kTaskName, kTaskXml));
        winemu_journal_start();
        winemu_fail_next(row.call, row.fault, row.fault == kNoObject ? nullptr : "injected", nullptr);
        EXPECT_TRUE(perform(row.operation, kTaskName));
        winemu_journal_stop();
        const std::vector<Call> calls = read_journal();
        SCOPED_TRACE(::testing::PrintToString(texts(calls)));

        const auto failed = std::find_if(calls.begin(), calls.end(), [&](const Call& call) {
            return call.call == row.call && call.result == row.fault;
        });
        ASSERT_NE(failed, calls.end());
        if (row.fault != kNoObject) {
            ASSERT_NE(failed + 1, calls.end());
            EXPECT_EQ(failed[1].call, "GetErrorInfo") << "the failure is captured before any other call";
        }
        const char* text_call = row.fault == kNoObject ? "FormatMessageW" : "GetErrorDetails";
        const auto text = std::find_if(failed, calls.end(), [&](const Call& call) { return call.call == text_call; });
        const auto first_release = std::find_if(failed, calls.end(), is_release_of_service_object);
        EXPECT_NE(text, calls.end()) << "no text was made for the failure";
        EXPECT_LT(text - calls.begin(), first_release - calls.begin()) << "the text is made before any release";
        if (row.fault == kNoObject) {
            const auto format = std::find_if(calls.begin(), calls.end(),
                                             [](const Call& call) { return call.call == "FormatMessageW"; });
            EXPECT_EQ(format->arguments, "flags=0x1300, message=0x0, language=0x0, size=0");
        }

        // Reverse order on the way out: once the call has failed, each object and BSTR still held
        // goes back after everything acquired later (before that, one may go back once used).
        std::vector<std::string> held;
        for (auto call = calls.begin(); call != calls.end(); ++call) {
            if (call < failed && call->frees_own_bstr()) {
                held.erase(std::find(held.rbegin(), held.rend(), "bstr").base() - 1);
                continue;
            }
            if (call->call == "SysAllocStringLen" && call->result != 0) held.push_back("bstr");
            if (call->arguments.ends_with("=#") && call->result >= 0 && call->call != "GetErrorInfo")
                held.push_back(call->arguments.substr(call->arguments.rfind(' ') + 1));
            const bool released = (call->call == "Release" && call->object != "error") || call->frees_own_bstr();
            if (!released) continue;
            ASSERT_FALSE(held.empty()) << call->text();
            const std::string expected = call->frees_own_bstr() ? "bstr" : call->object + "=#";
            EXPECT_EQ(held.back(), expected) << "out of order: " << call->text();
            held.pop_back();
        }
        EXPECT_TRUE(held.empty());

        const bool entered = apartment == StartApartment::none && row.call != std::string("CoInitializeEx");
        EXPECT_EQ(calls.back().call == "CoUninitialize", entered || apartment == StartApartment::multithreaded);
    });
}

std::string failure_name(const ::testing::TestParamInfo<FailureOrder::ParamType>& info) {
    const auto& [row, apartment] = info.param;
    return std::string(name_of(row.operation)) + "_" + row.call +
           (row.fault == kNoObject ? "_NoObject" : "") + "_" + testing_support::name_of(apartment);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, FailureOrder,
                         ::testing::Combine(::testing::ValuesIn(kFailureRows),
                                            ::testing::Values(StartApartment::none, StartApartment::single_threaded,
                                                              StartApartment::multithreaded)),
                         failure_name);

// S_FALSE is success: each service call answering it still lets the operation succeed, and the
// work is done (the task registered, run, found or deleted).
TEST_F(CallJournal, SFalseFromEachServiceCallIsSuccess) {
    const std::tuple<Operation, const char*> rows[] = {
        {Operation::task_exists, "CoInitializeEx"}, {Operation::task_exists, "CoCreateInstance"},
        {Operation::task_exists, "Connect"},        {Operation::task_exists, "GetFolder"},
        {Operation::task_exists, "GetTask"},        {Operation::run_task, "RunEx"},
        {Operation::delete_task, "DeleteTask"},     {Operation::register_xml, "RegisterTask"},
    };
    for (const auto& [operation, call] : rows) {
        testing_support::run_on_thread(StartApartment::none, [&] {
            ASSERT_TRUE(with_own_connection(register_xml, kTaskName, kTaskXml));
            winemu_fail_next(call, S_FALSE, nullptr, nullptr);
            EXPECT_FALSE(perform(operation, kTaskName)) << call;
            EXPECT_EQ(winemu_pending_faults(), 0u) << call;
            const bool expected_present = operation != Operation::delete_task;
            EXPECT_EQ(with_own_connection(task_exists, kTaskName).value(), expected_present) << call;
        });
    }
}

}  // namespace
}  // namespace morvane::scheduler
