// call_journal_test.cpp: the platform calls of each operation, as the journal records them: the
// success paths written out as data, and the ordering rules checked on every failure row and
// every starting apartment; S_FALSE from each service call is success; the calls that capturing
// a failure makes, for each error object it may find, written out as data.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <winemu/control.h>

#include "scheduler/own_connection.hpp"
#include "scheduler/platform_error.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler_fixture.hpp"

namespace morvane::scheduler {
namespace {

using testing_support::kTaskXml;
using testing_support::StartApartment;

enum class Operation { run_task, delete_task, task_exists, register_xml };
constexpr std::string_view kTaskName = "Journal";

bool perform(Operation operation) {
    switch (operation) {
        case Operation::run_task: return static_cast<bool>(with_own_connection(run_task, kTaskName));
        case Operation::delete_task: return static_cast<bool>(with_own_connection(delete_task, kTaskName));
        case Operation::task_exists: return static_cast<bool>(with_own_connection(task_exists, kTaskName));
        case Operation::register_xml: return static_cast<bool>(with_own_connection(register_xml, kTaskName, kTaskXml));
    }
    return false;
}

// One journal record, with the objects named by the call that handed them out ("service",
// "folder", "task", "running"; "error" for anything else), so that the order of releases reads
// as data.
struct Call {
    std::string call;
    std::string arguments;
    std::string object;
    long long result;
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
        arguments = std::regex_replace(arguments, std::regex("#\\d+"), "#");
        std::string object;
        if (entry.object != 0) object = names.contains(entry.object) ? names[entry.object] : "error";
        calls.push_back({entry.call, arguments, object, entry.result});
    }
    return calls;
}

std::vector<std::string> texts(const std::vector<Call>& calls) {
    std::vector<std::string> out;
    for (const Call& call : calls) out.push_back(call.text());
    return out;
}

// What every operation does first and last, from a thread in no apartment.
const std::vector<std::string> kOpen = {
    "CoInitializeEx(reserved=0x0, model=0x0)",
    "CoCreateInstance(class=\"TaskScheduler\", outer=null, context=0x1, service=#)",
    "Connect(service: server=empty, user=empty, domain=empty, password=empty)",
    "SysAllocStringLen(length=1)",
    "GetFolder(service: path=\"\\\\\", folder=#)",
    "SysFreeString(bstr=\"\\\\\")",
};
const std::vector<std::string> kClose = {"Release(folder)", "Release(service)", "CoUninitialize()"};

struct SuccessCase {
    Operation operation;
    std::vector<std::string> own_calls;  // between opening and closing
};

const SuccessCase kSuccessPaths[] = {
    {Operation::run_task,
     {"SysAllocStringLen(length=7)", "GetTask(folder: path=\"Journal\", task=#)", "SysFreeString(bstr=\"Journal\")",
      "RunEx(task: parameters=empty, flags=0x0, session=0, user=null, running=#)", "Release(running)", "Release(task)"}},
    {Operation::delete_task,
     {"SysAllocStringLen(length=7)", "DeleteTask(folder: name=\"Journal\", flags=0x0)", "SysFreeString(bstr=\"Journal\")"}},
    {Operation::task_exists,
     {"SysAllocStringLen(length=7)", "GetTask(folder: path=\"Journal\", task=#)", "SysFreeString(bstr=\"Journal\")",
      "Release(task)"}},
    {Operation::register_xml,
     {"SysAllocStringLen(length=7)", "SysAllocStringLen(length=" + std::to_string(kTaskXml.size()) + ")",
      "RegisterTask(folder: path=\"Journal\", xml_length=" + std::to_string(kTaskXml.size()) +
          ", flags=0x6, user=empty, password=empty, logon=3, sddl=empty, task=#)",
      "Release(task)", "SysFreeString(bstr=<xml>)", "SysFreeString(bstr=\"Journal\")"}},
};

class CallJournal : public testing_support::SchedulerTest {
protected:
    void TearDown() override {
        winemu_journal_stop();
        SchedulerTest::TearDown();
    }
};

TEST_F(CallJournal, SuccessPathsMakeExactlyTheseCalls) {
    for (const SuccessCase& success : kSuccessPaths) {
        testing_support::run_on_thread(StartApartment::none, [&] {
            ASSERT_TRUE(with_own_connection(register_xml, kTaskName, kTaskXml));
            winemu_journal_start();
            ASSERT_TRUE(perform(success.operation));
            winemu_journal_stop();
            std::vector<std::string> expected = kOpen;
            expected.insert(expected.end(), success.own_calls.begin(), success.own_calls.end());
            expected.insert(expected.end(), kClose.begin(), kClose.end());
            std::vector<std::string> actual = texts(read_journal());
            for (std::string& text : actual)  // the definition's text is long: named, not spelled
                if (text.starts_with("SysFreeString(bstr=\"<Task")) text = "SysFreeString(bstr=<xml>)";
            EXPECT_EQ(actual, expected);
        });
    }
}

constexpr HRESULT hr(std::uint32_t bits) { return static_cast<HRESULT>(bits); }
constexpr HRESULT kNoObject = 0;
constexpr HRESULT kFailed = hr(0x80004005u);
constexpr HRESULT kAccessDenied = hr(0x80070005u);

// The capture of a failure (PlatformError::from_hresult, then dropping it), for each error object
// the failure may leave and each secondary failure on the way. A secondary failure shows as a
// nested capture: its GetErrorInfo calls (and the release of what they took) in the middle.
struct CaptureCase {
    const char* name;
    void (*leave)();  // what the failing call leaves on the thread
    std::vector<std::string> calls;
};

// The first look fails, so only the second finds this plain object.
void leave_later_object(const char* description) {
    winemu_fail_next("GetErrorInfo", kAccessDenied, nullptr, description);
}

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const std::vector<std::string>& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A restricted object taken: queried, the object given back, its propagation context captured.
const std::vector<std::string> kTakeRestricted = {"GetErrorInfo(reserved=0, info=#)", "QueryInterface(error)",
                                                  "Release(error)", "QueryInterface(error)",
                                                  "CapturePropagationContext(error)", "Release(error)"};
// Such a capture, then its value dropped: a restricted error taken and released at once, as the
// capture of a secondary failure does.
const std::vector<std::string> kTakenAndDropped = joined({kTakeRestricted, {"Release(error)"}});
const std::vector<std::string> kLaterObject = {"GetErrorInfo(reserved=0)", "GetErrorInfo(reserved=0, info=#)",
                                               "GetDescription(error)"};
const std::vector<std::string> kCombase = {"LoadLibraryExA(name=\"combase.dll\", flags=0x1000)",
                                           "GetProcAddress(name=\"RoOriginateError\")"};
// After RoOriginateError: the restricted object it left is taken, without a propagation context.
const std::vector<std::string> kTakeOriginated = {"FreeLibrary()", "GetErrorInfo(reserved=0, info=#)",
                                                  "QueryInterface(error)", "Release(error)"};
const std::string kNothingFound = "GetErrorInfo(reserved=0, info=null)";
const std::string kOriginateEmpty = "RoOriginateError(error=0x80004005, null_message=1)";

TEST_F(CallJournal, CaptureMakesExactlyTheseCalls) {
    const CaptureCase cases[] = {
        {"restricted", [] { winemu_set_restricted_error(kFailed, "d", "r"); }, kTakenAndDropped},
        {"plain: the failed query is captured, the object released unread",
         [] { winemu_set_plain_error("plain"); },
         {"GetErrorInfo(reserved=0, info=#)", "QueryInterface(error)", kNothingFound, kNothingFound, "Release(error)",
          kNothingFound}},
        {"later plain: originated with its description unchanged, freed after",
         [] { leave_later_object("found later\r\n"); },
         joined({kLaterObject, kCombase,
                 {"WindowsCreateString(length=13)", "RoOriginateError(error=0x80004005, null_message=0)",
                  "WindowsDeleteString(null_string=0)"},
                 kTakeOriginated, {"SysFreeString(bstr=\"found later\r\n\")", "Release(error)", "Release(error)"}})},
        {"later plain, empty description: the null HSTRING",
         [] { leave_later_object(""); },
         joined({kLaterObject, kCombase, {kOriginateEmpty}, kTakeOriginated,
                 {"SysFreeString(bstr=empty)", "Release(error)", "Release(error)"}})},
        {"later plain, GetDescription fails: captured, then the empty description",
         [] {
             leave_later_object("found later");
             winemu_fail_next("GetDescription", kAccessDenied, "secondary", nullptr);
         },
         joined({kLaterObject, kTakenAndDropped, kCombase, {kOriginateEmpty}, kTakeOriginated,
                 {"Release(error)", "Release(error)"}})},
        {"later plain, WindowsCreateString fails: captured, then the null HSTRING",
         [] {
             leave_later_object("found later");
             winemu_fail_next("WindowsCreateString", kAccessDenied, "secondary", nullptr);
         },
         joined({kLaterObject, kCombase, {"WindowsCreateString(length=11)"}, kTakenAndDropped, {kOriginateEmpty},
                 kTakeOriginated, {"SysFreeString(bstr=\"found later\")", "Release(error)", "Release(error)"}})},
    };
    for (const CaptureCase& capture : cases) {
        testing_support::run_on_thread(StartApartment::multithreaded, [&] {
            capture.leave();
            winemu_journal_start();
            (void)PlatformError::from_hresult(kFailed);
            winemu_journal_stop();
            EXPECT_EQ(texts(read_journal()), capture.calls) << capture.name;
            EXPECT_EQ(winemu_pending_faults(), 0u) << capture.name;
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
        EXPECT_FALSE(perform(row.operation));
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
    static const char* const operations[] = {"run_task", "delete_task", "task_exists", "register_xml"};
    return std::string(operations[static_cast<int>(row.operation)]) + "_" + row.call +
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
            EXPECT_TRUE(perform(operation)) << call;
            EXPECT_EQ(winemu_pending_faults(), 0u) << call;
            const bool expected_present = operation != Operation::delete_task;
            EXPECT_EQ(with_own_connection(task_exists, kTaskName).value(), expected_present) << call;
        });
    }
}

}  // namespace
}  // namespace morvane::scheduler
