// faults_test.cpp: one-shot fault injection: order, scope, error objects left, and call counting.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "com_test_support.hpp"
#include "failing_allocations.hpp"

namespace {

using winemu_test::Bstr;
using winemu_test::on_fresh_thread;
using winemu_test::query;
using winemu_test::Ref;
using winemu_test::take_error_info;
using winemu_test::take_restricted_details;
using winemu_test::view;

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        winemu_clear_faults();
        take_error_info();
    }
    void TearDown() override {
        winemu_clear_faults();
        take_error_info();
        EXPECT_EQ(winemu_outstanding().objects, 0);
        EXPECT_EQ(winemu_outstanding().bstrs, 0);
        EXPECT_EQ(winemu_outstanding().apartments, 0);
    }
};

TEST_F(Faults, SameCallFaultsAreTakenInQueueOrderOnePerCall) {
    winemu_fail_next("CoInitializeEx", E_OUTOFMEMORY, nullptr, nullptr);
    winemu_fail_next("SysAllocStringLen", E_FAIL, nullptr, nullptr);
    winemu_fail_next("CoInitializeEx", E_UNEXPECTED, nullptr, nullptr);
    EXPECT_EQ(winemu_pending_faults(), 3u);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), E_OUTOFMEMORY);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), E_UNEXPECTED);
    EXPECT_EQ(winemu_pending_faults(), 1u) << "another call's fault stays queued";
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
    EXPECT_EQ(SysAllocStringLen(u"x", 1), nullptr);
    EXPECT_EQ(winemu_pending_faults(), 0u);
}

TEST_F(Faults, PendingFaultCallsNameTheQueuedOnesOldestFirst) {
    winemu_fail_next("GetTask", E_FAIL, nullptr, nullptr);
    winemu_fail_after("RunEx", 1, E_FAIL, nullptr, nullptr);
    winemu_fail_next("GetTask", E_UNEXPECTED, nullptr, nullptr);
    const std::string expected = "GetTask\nRunEx\nGetTask\n";
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(winemu_pending_fault_calls(small, sizeof small), expected.size()) << "the whole length, copied or not";
    EXPECT_EQ(std::string(small, sizeof small), "GetT") << "as much as fits, no NUL past the buffer";
    char buffer[64];
    ASSERT_EQ(winemu_pending_fault_calls(buffer, sizeof buffer), expected.size());
    EXPECT_EQ(std::string(buffer), expected);
    winemu_clear_faults();
    EXPECT_EQ(winemu_pending_fault_calls(buffer, sizeof buffer), 0u);
    EXPECT_EQ(std::string(buffer), "");
}

TEST_F(Faults, ADelayedFaultLetsItsCallsThroughThenStrikesOnce) {
    winemu_fail_after("SysAllocStringLen", 2, E_FAIL, nullptr, nullptr);
    winemu_fail_next("SysAllocStringLen", E_FAIL, nullptr, nullptr);
    Bstr first, second, fifth;
    *first.put() = SysAllocStringLen(u"a", 1);
    *second.put() = SysAllocStringLen(u"b", 1);
    EXPECT_NE(first.get(), nullptr);
    EXPECT_NE(second.get(), nullptr);
    EXPECT_EQ(SysAllocStringLen(u"c", 1), nullptr) << "the delayed fault strikes third";
    EXPECT_EQ(SysAllocStringLen(u"d", 1), nullptr) << "the fault queued behind it strikes next";
    *fifth.put() = SysAllocStringLen(u"e", 1);
    EXPECT_NE(fifth.get(), nullptr);
}

TEST_F(Faults, AFaultIsTakenByWhicheverThreadCallsFirst) {
    winemu_fail_next("CoInitializeEx", RPC_E_CHANGED_MODE, nullptr, nullptr);
    on_fresh_thread([] { EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE); });
    EXPECT_EQ(winemu_pending_faults(), 0u);
}

TEST_F(Faults, ClearDropsEveryQueuedFault) {
    winemu_fail_next("GetErrorInfo", E_FAIL, nullptr, nullptr);
    winemu_fail_next("LoadLibraryExA", E_FAIL, nullptr, nullptr);
    winemu_clear_faults();
    EXPECT_EQ(winemu_pending_faults(), 0u);
    EXPECT_EQ(GetErrorInfo(0, Ref<IErrorInfo>().put()), S_FALSE);
}

TEST_F(Faults, UnderContentionEachQueuedFaultStrikesExactlyOnce) {
    constexpr int thread_count = 8;
    constexpr int calls_per_thread = 250;
    constexpr int fault_count = 300;
    for (int i = 0; i < fault_count; ++i) winemu_fail_next("SysAllocStringLen", E_OUTOFMEMORY, nullptr, nullptr);
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&refused] {
            for (int i = 0; i < calls_per_thread; ++i) {
                BSTR text = SysAllocStringLen(u"x", 1);
                if (!text) ++refused;
                SysFreeString(text);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(refused.load(), fault_count);
    EXPECT_EQ(winemu_pending_faults(), 0u);
}

TEST_F(Faults, SetErrorInfoCanBeFaultedAndThenLeavesTheThreadObjectAlone) {
    winemu_set_plain_error("kept");
    Ref<IErrorInfo> kept = take_error_info();
    ASSERT_EQ(SetErrorInfo(0, kept.get()), S_OK);
    winemu_set_plain_error("other");
    Ref<IErrorInfo> other = take_error_info();
    winemu_fail_next("SetErrorInfo", E_OUTOFMEMORY, nullptr, nullptr);
    EXPECT_EQ(SetErrorInfo(0, other.get()), E_OUTOFMEMORY);
    EXPECT_EQ(SetErrorInfo(0, kept.get()), S_OK) << "one-shot";
    EXPECT_EQ(take_error_info().get(), kept.get());
}

TEST_F(Faults, NullCallNameIsIgnored) {
    winemu_fail_next(nullptr, E_FAIL, nullptr, nullptr);
    EXPECT_EQ(winemu_pending_faults(), 0u);
    EXPECT_EQ(winemu_call_count(nullptr), 0);
}

TEST_F(Faults, CallsAreCountedWhetherOrNotTheyFail) {
    const long long before = winemu_call_count("SysAllocStringLen");
    winemu_fail_next("SysAllocStringLen", E_OUTOFMEMORY, nullptr, nullptr);
    EXPECT_EQ(SysAllocStringLen(u"a", 1), nullptr);
    SysFreeString(SysAllocStringLen(u"a", 1));
    on_fresh_thread([] { SysFreeString(SysAllocStringLen(u"b", 1)); });
    EXPECT_EQ(winemu_call_count("SysAllocStringLen"), before + 3);
    EXPECT_EQ(winemu_call_count("NoSuchCall"), 0);
}

// Each thread counts on its own; the sums stay exact when threads end, for what they counted
// while running, what their exit released (an unbalanced apartment, the thread's error object),
// and what they made that another thread frees after they have gone.
TEST_F(Faults, CountsStayExactAcrossThreadsThatHaveEnded) {
    constexpr int thread_count = 4;
    constexpr int kept_per_thread = 50;
    const long long allocations = winemu_call_count("SysAllocStringLen");
    const long long entries = winemu_call_count("CoInitializeEx");
    const winemu_outstanding_counts before = winemu_outstanding();
    std::vector<BSTR> kept(thread_count * kept_per_thread);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&kept, t] {
            for (int i = 0; i < kept_per_thread; ++i) kept[t * kept_per_thread + i] = SysAllocStringLen(u"k", 1);
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);  // left for the thread's exit
            winemu_set_plain_error("left for the thread's exit");
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(winemu_call_count("SysAllocStringLen"), allocations + thread_count * kept_per_thread);
    EXPECT_EQ(winemu_call_count("CoInitializeEx"), entries + thread_count);
    EXPECT_EQ(winemu_outstanding().bstrs, before.bstrs + thread_count * kept_per_thread);
    EXPECT_EQ(winemu_outstanding().apartments, before.apartments);
    EXPECT_EQ(winemu_outstanding().objects, before.objects);
    for (const BSTR text : kept) SysFreeString(text);
    EXPECT_EQ(winemu_outstanding().bstrs, before.bstrs);
}

TEST_F(Faults, DescriptionLeavesARestrictedObjectWithTheSystemText) {
    winemu_fail_next("CoInitializeEx", E_ACCESSDENIED, "Not for you", nullptr);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), E_ACCESSDENIED);
    const auto details = take_restricted_details();
    ASSERT_TRUE(details);
    ASSERT_EQ(details->result, S_OK);
    EXPECT_EQ(details->error, E_ACCESSDENIED);
    EXPECT_EQ(details->description, u"Access is denied.\r\n");
    EXPECT_EQ(details->restricted_description, u"Not for you");
}

TEST_F(Faults, DescriptionForACodeWithoutTextGivesANullDescription) {
    winemu_fail_next("CoInitializeEx", static_cast<HRESULT>(0x8ABC0001u), "custom", nullptr);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), static_cast<HRESULT>(0x8ABC0001u));
    const auto details = take_restricted_details();
    ASSERT_TRUE(details);
    EXPECT_TRUE(details->description_null);
    EXPECT_EQ(details->restricted_description, u"custom");
}

TEST_F(Faults, PlainDescriptionLeavesOnlyAnIErrorInfo) {
    winemu_fail_next("CoInitializeEx", E_FAIL, nullptr, "plain words");
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), E_FAIL);
    Ref<IErrorInfo> info = take_error_info();
    ASSERT_TRUE(info);
    Ref<IRestrictedErrorInfo> restricted;
    EXPECT_EQ(query(info, IID_IRestrictedErrorInfo, restricted), E_NOINTERFACE);
    Bstr text;
    info->GetDescription(text.put());
    EXPECT_EQ(view(text), u"plain words");
}

TEST_F(Faults, RestrictedDescriptionWinsOverPlain) {
    winemu_fail_next("CoInitializeEx", E_FAIL, "restricted", "plain");
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), E_FAIL);
    Ref<IRestrictedErrorInfo> restricted;
    EXPECT_EQ(query(take_error_info(), IID_IRestrictedErrorInfo, restricted), S_OK);
}

// Through a call that leaves the thread's error object alone (a Co* call would discard it).
TEST_F(Faults, WithoutDescriptionsNoErrorObjectIsLeft) {
    winemu_set_plain_error("older");
    winemu_fail_next("WindowsCreateString", E_FAIL, nullptr, nullptr);
    HSTRING string = nullptr;
    ASSERT_EQ(WindowsCreateString(u"x", 1, &string), E_FAIL);
    Bstr text;
    take_error_info()->GetDescription(text.put());
    EXPECT_EQ(view(text), u"older") << "the thread's earlier object is not touched";
}

TEST_F(Faults, GetErrorInfoFaultHandsNothingOverAndKeepsTheThreadObject) {
    winemu_set_plain_error("kept");
    for (const HRESULT fault : {E_OUTOFMEMORY, S_OK}) {
        winemu_fail_next("GetErrorInfo", fault, nullptr, nullptr);
        IErrorInfo* info = reinterpret_cast<IErrorInfo*>(0x1);
        EXPECT_EQ(GetErrorInfo(0, &info), fault);
        EXPECT_EQ(info, nullptr);
    }
    EXPECT_TRUE(take_error_info());
}

TEST_F(Faults, ErrorObjectMethodsCanBeFaulted) {
    winemu_set_restricted_error(E_FAIL, "d", "r");
    Ref<IErrorInfo> info = take_error_info();
    Ref<IRestrictedErrorInfo> restricted;
    ASSERT_EQ(query(info, IID_IRestrictedErrorInfo, restricted), S_OK);
    Ref<ILanguageExceptionErrorInfo2> language;
    ASSERT_EQ(query(info, IID_ILanguageExceptionErrorInfo2, language), S_OK);

    winemu_fail_next("GetDescription", E_OUTOFMEMORY, nullptr, nullptr);
    Bstr text;
    EXPECT_EQ(info->GetDescription(text.put()), E_OUTOFMEMORY);
    EXPECT_EQ(text.get(), nullptr);

    winemu_fail_next("GetErrorDetails", S_OK, nullptr, nullptr);
    const auto details = winemu_test::read_details(restricted.get());
    EXPECT_EQ(details.result, S_OK);
    EXPECT_EQ(details.error, S_OK) << "success without details: everything preset to nothing";
    EXPECT_TRUE(details.description_null);
    EXPECT_TRUE(details.restricted_null);

    winemu_fail_next("CapturePropagationContext", E_UNEXPECTED, nullptr, "capture failed");
    EXPECT_EQ(language->CapturePropagationContext(nullptr), E_UNEXPECTED);
    EXPECT_TRUE(take_error_info()) << "a faulted method leaves its error object like any call";

    EXPECT_EQ(info->GetDescription(text.put()), S_OK) << "one-shot";
}

// Nothing may unwind out of the control API, not even when memory runs out. Run first in its own
// process (as ctest runs each test), the fault board does not exist yet and making it fails too.
TEST(ControlWithoutMemory, NoControlFunctionThrows) {
    std::size_t pending = 1;
    long long count = 1;
    std::size_t runs = 0;
    // Texts too long to fit inside a string object: keeping them needs memory.
    const char* const never_called = "NeverCalledByAnyTestOfWinemu";
    const char* const text = "a description longer than any short-string buffer";
    {
        const winemu_test::FailingLargeAllocations failing(1);  // every allocation fails
        winemu_clear_faults();
        winemu_fail_next(never_called, E_FAIL, text, nullptr);
        pending = winemu_pending_faults();
        count = winemu_call_count(never_called);
        runs = winemu_runs("Task", nullptr, 0);
        winemu_set_restricted_error(E_FAIL, text, text);
        winemu_set_plain_error(text);
    }
    EXPECT_EQ(pending, 0u);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(runs, static_cast<std::size_t>(-1));
    EXPECT_FALSE(take_error_info());  // no error object could be made, and none is left
    // With memory back, the board is made and works.
    winemu_fail_next(never_called, E_FAIL, nullptr, nullptr);
    EXPECT_EQ(winemu_pending_faults(), 1u);
    winemu_clear_faults();
}

}  // namespace
