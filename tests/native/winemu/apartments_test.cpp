// apartments_test.cpp: COM apartment entry and counting per thread, and the process-wide total.
#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "com_test_support.hpp"

namespace {

using winemu_test::on_fresh_thread;

constexpr DWORD mta = COINIT_MULTITHREADED;
constexpr DWORD sta = COINIT_APARTMENTTHREADED;

long long apartments() { return winemu_outstanding().apartments; }

struct InitCase {
    const char* what;
    void* reserved;
    DWORD coinit;
    HRESULT expected;
};

TEST(Apartments, FirstEntryOnAFreshThread) {
    static int reserved_word = 0;
    const InitCase cases[] = {
        {"multithreaded", nullptr, mta, S_OK},
        {"single-threaded", nullptr, sta, S_OK},
        {"with COINIT_DISABLE_OLE1DDE", nullptr, sta | 0x4, S_OK},
        {"with COINIT_SPEED_OVER_MEMORY", nullptr, mta | 0x8, S_OK},
        {"undocumented bit", nullptr, 0x10, E_INVALIDARG},
        {"all bits", nullptr, 0xFFFFFFFF, E_INVALIDARG},
        {"reserved pointer", &reserved_word, mta, E_INVALIDARG},
    };
    for (const InitCase& c : cases) {
        on_fresh_thread([&] {
            const HRESULT result = CoInitializeEx(c.reserved, c.coinit);
            EXPECT_EQ(result, c.expected) << c.what;
            EXPECT_EQ(apartments(), SUCCEEDED(result) ? 1 : 0) << c.what;
            if (SUCCEEDED(result)) CoUninitialize();
        });
    }
    EXPECT_EQ(apartments(), 0);
}

TEST(Apartments, RepeatsAreCountedAndEachNeedsItsOwnUninitialize) {
    on_fresh_thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, mta), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, mta), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, mta | 0x4), S_FALSE);  // extra bits do not change the model
        EXPECT_EQ(apartments(), 3);
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(apartments(), 1);
        CoUninitialize();
        EXPECT_EQ(apartments(), 0);
        EXPECT_EQ(CoInitializeEx(nullptr, mta), S_OK) << "a fully left thread enters afresh";
        CoUninitialize();
    });
}

TEST(Apartments, OtherModelIsRefusedAndNotCounted) {
    for (const auto& [first, second] : {std::pair{mta, sta}, std::pair{sta, mta}}) {
        on_fresh_thread([first = first, second = second] {
            ASSERT_EQ(CoInitializeEx(nullptr, first), S_OK);
            EXPECT_EQ(CoInitializeEx(nullptr, second), RPC_E_CHANGED_MODE);
            EXPECT_EQ(apartments(), 1);
            CoUninitialize();
            EXPECT_EQ(CoInitializeEx(nullptr, second), S_OK) << "after leaving, the other model is free";
            CoUninitialize();
        });
    }
}

TEST(Apartments, UninitializeWithoutEntryIsANoOp) {
    on_fresh_thread([] {
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(apartments(), 0);
        EXPECT_EQ(CoInitializeEx(nullptr, sta), S_OK);
        CoUninitialize();
        CoUninitialize();  // one more than entered
        EXPECT_EQ(apartments(), 0);
    });
}

TEST(Apartments, ControlApiEntersWithoutCountingCalls) {
    on_fresh_thread([] {
        const long long calls = winemu_call_count("CoInitializeEx");
        EXPECT_EQ(winemu_enter_apartment(0), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, mta), RPC_E_CHANGED_MODE) << "the control API entered an STA";
        EXPECT_EQ(CoInitializeEx(nullptr, sta), S_FALSE);
        EXPECT_EQ(winemu_call_count("CoInitializeEx"), calls + 2);
        CoUninitialize();
        winemu_leave_apartment();
        EXPECT_EQ(winemu_enter_apartment(1), S_OK);
        winemu_leave_apartment();
        winemu_leave_apartment();  // no entry left: a no-op
        EXPECT_EQ(apartments(), 0);
    });
}

TEST(Apartments, ThreadsHaveTheirOwnApartmentsAndTheTotalSumsThem) {
    constexpr int thread_count = 8;
    std::barrier all_entered(thread_count + 1);
    std::barrier may_leave(thread_count + 1);
    std::vector<std::thread> threads;
    std::atomic<int> wrong_results{0};
    for (int i = 0; i < thread_count; ++i) {
        threads.emplace_back([&, i] {
            // Alternate models: one thread's model never affects another's.
            const DWORD model = i % 2 ? sta : mta;
            if (CoInitializeEx(nullptr, model) != S_OK) ++wrong_results;
            if (CoInitializeEx(nullptr, model) != S_FALSE) ++wrong_results;
            all_entered.arrive_and_wait();
            may_leave.arrive_and_wait();
            CoUninitialize();
            CoUninitialize();
        });
    }
    all_entered.arrive_and_wait();
    EXPECT_EQ(apartments(), 2 * thread_count);
    may_leave.arrive_and_wait();
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong_results.load(), 0);
    EXPECT_EQ(apartments(), 0);
}

TEST(Apartments, ThreadEndingInsideAnApartmentHasItsEntriesLeft) {
    on_fresh_thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, sta), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, sta), S_FALSE);
        winemu_set_plain_error("left behind");
    });
    EXPECT_EQ(apartments(), 0);
    EXPECT_EQ(winemu_outstanding().objects, 0) << "the thread's error object goes with it";
}

TEST(Apartments, FaultOnCoInitializeExLeavesTheApartmentUnchanged) {
    winemu_clear_faults();
    on_fresh_thread([] {
        winemu_fail_next("CoInitializeEx", E_OUTOFMEMORY, nullptr, nullptr);
        EXPECT_EQ(CoInitializeEx(nullptr, mta), E_OUTOFMEMORY);
        EXPECT_EQ(apartments(), 0);
        winemu_fail_next("CoInitializeEx", S_OK, nullptr, nullptr);
        EXPECT_EQ(CoInitializeEx(nullptr, mta), S_OK);
        EXPECT_EQ(apartments(), 0) << "a faulted success enters nothing";
        EXPECT_EQ(CoInitializeEx(nullptr, mta), S_OK) << "the next call is real";
        CoUninitialize();
    });
}

}  // namespace
