// mta_usage_test.cpp: CoIncrementMTAUsage keeping the multithreaded apartment alive, the implicit
// MTA it gives threads outside any apartment, and who may call the objects made there.
#include <string>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "com_test_support.hpp"

namespace {

using winemu_test::on_fresh_thread;
using winemu_test::Ref;
using winemu_test::violations;

constexpr HRESULT kWrongThread = static_cast<HRESULT>(0x8001010Eu);
constexpr int kNoApartment = -1;  // a thread that enters none: in the implicit MTA while it exists

struct ApartmentType {
    HRESULT result;
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    bool operator==(const ApartmentType&) const = default;
};

ApartmentType apartment_type() {
    ApartmentType seen{E_FAIL, APTTYPE_NA, APTTYPEQUALIFIER_APPLICATION_STA};
    seen.result = CoGetApartmentType(&seen.type, &seen.qualifier);
    return seen;
}

ApartmentType apartment_type_of_a_fresh_thread() {
    ApartmentType seen{};
    on_fresh_thread([&] { seen = apartment_type(); });
    return seen;
}

constexpr ApartmentType kImplicitMta{S_OK, APTTYPE_MTA, APTTYPEQUALIFIER_IMPLICIT_MTA};
constexpr ApartmentType kNone{CO_E_NOTINITIALIZED, APTTYPE_CURRENT, APTTYPEQUALIFIER_NONE};

void enter(int model) {
    if (model == kNoApartment) return;
    ASSERT_EQ(CoInitializeEx(nullptr, static_cast<DWORD>(model)), S_OK);
}
void leave(int model) {
    if (model != kNoApartment) CoUninitialize();
}

HRESULT connect(ITaskService* service) {
    VARIANT empty{};
    return service->Connect(empty, empty, empty, empty);
}

class MtaUsage : public ::testing::Test {
protected:
    void SetUp() override {
        winemu_clear_faults();
        winemu_clear_violations();
        ASSERT_EQ(apartment_type_of_a_fresh_thread(), kNone) << "a multithreaded apartment was left alive";
    }
    void TearDown() override {
        winemu_journal_stop();
        EXPECT_EQ(apartment_type_of_a_fresh_thread(), kNone);
        winemu_test::expect_nothing_outstanding();
    }
};

// Any thread may hold the apartment; while it is held every thread outside an apartment sees the
// implicit MTA, and the holder keeps the apartment it entered itself.
TEST_F(MtaUsage, HeldFromEachKindOfThread) {
    struct Case {
        const char* what;
        int model;
        ApartmentType own;  // what the holding thread sees while it holds the cookie
    };
    const Case cases[] = {
        {"no apartment", kNoApartment, kImplicitMta},
        {"multithreaded", COINIT_MULTITHREADED, {S_OK, APTTYPE_MTA, APTTYPEQUALIFIER_NONE}},
        {"single-threaded", COINIT_APARTMENTTHREADED, {S_OK, APTTYPE_STA, APTTYPEQUALIFIER_NONE}},
    };
    for (const Case& c : cases) {
        on_fresh_thread([&] {
            enter(c.model);
            CO_MTA_USAGE_COOKIE cookie = nullptr;
            ASSERT_EQ(CoIncrementMTAUsage(&cookie), S_OK) << c.what;
            EXPECT_NE(cookie, nullptr);
            EXPECT_EQ(winemu_outstanding().mta_usages, 1) << c.what;
            EXPECT_EQ(apartment_type(), c.own) << c.what;
            EXPECT_EQ(apartment_type_of_a_fresh_thread(), kImplicitMta) << c.what;
            EXPECT_EQ(CoDecrementMTAUsage(cookie), S_OK) << c.what;
            EXPECT_EQ(winemu_outstanding().mta_usages, 0) << c.what;
            leave(c.model);
        });
        EXPECT_EQ(apartment_type_of_a_fresh_thread(), kNone) << c.what;
    }
}

// An object made on a thread of the implicit MTA belongs to the multithreaded apartment: any of
// its threads may call it, a single-threaded apartment's thread may not, and once the last cookie
// and the last thread have left, the object has outlived its apartment.
TEST_F(MtaUsage, ObjectsOfTheImplicitMta) {
    struct Case {
        const char* what;
        int caller;
        bool give_back_first;  // the cookie goes back before the call
        HRESULT expected;
        const char* violation;  // nullptr: none
    };
    const Case cases[] = {
        {"another thread outside any apartment", kNoApartment, false, S_OK, nullptr},
        {"a thread that entered the MTA", COINIT_MULTITHREADED, false, S_OK, nullptr},
        {"a single-threaded apartment's thread", COINIT_APARTMENTTHREADED, false, kWrongThread,
         "from a single-threaded apartment, on an object of the multithreaded one"},
        {"a thread outside any apartment, after the MTA ended", kNoApartment, true, S_OK,
         "after the apartment it was made in ended"},
        {"an MTA thread that keeps the apartment alive after the cookie went back", COINIT_MULTITHREADED, true, S_OK,
         nullptr},
    };
    for (const Case& c : cases) {
        CO_MTA_USAGE_COOKIE cookie = nullptr;
        ASSERT_EQ(CoIncrementMTAUsage(&cookie), S_OK);
        Ref<ITaskService> service;
        on_fresh_thread([&] {
            ASSERT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                       reinterpret_cast<void**>(service.put())),
                      S_OK);
        });
        on_fresh_thread([&] {
            enter(c.caller);
            const HRESULT given_back = c.give_back_first ? CoDecrementMTAUsage(cookie) : S_OK;
            EXPECT_EQ(connect(service.get()), c.expected) << c.what;
            EXPECT_EQ(c.give_back_first ? given_back : CoDecrementMTAUsage(cookie), S_OK) << c.what;
            leave(c.caller);
        });
        const std::string seen = violations();
        if (c.violation)
            EXPECT_NE(seen.find(c.violation), std::string::npos) << c.what << ": " << seen;
        else
            EXPECT_EQ(seen, "[]") << c.what;
        service.reset();  // after an ended apartment, a violation of its own
        winemu_clear_violations();
    }
}

// Giving back what was never handed out, or twice, is refused and recorded, and leaves alone the
// apartment that another cookie holds.
TEST_F(MtaUsage, CookiesNotHandedOut) {
    CO_MTA_USAGE_COOKIE held = nullptr;
    CO_MTA_USAGE_COOKIE twice = nullptr;
    ASSERT_EQ(CoIncrementMTAUsage(&held), S_OK);
    ASSERT_EQ(CoIncrementMTAUsage(&twice), S_OK);
    EXPECT_NE(held, twice);
    EXPECT_EQ(CoDecrementMTAUsage(twice), S_OK);
    int on_stack = 0;
    for (CO_MTA_USAGE_COOKIE wrong : {twice, static_cast<CO_MTA_USAGE_COOKIE>(nullptr),
                                      reinterpret_cast<CO_MTA_USAGE_COOKIE>(&on_stack)}) {
        EXPECT_EQ(CoDecrementMTAUsage(wrong), E_INVALIDARG);
        EXPECT_EQ(apartment_type_of_a_fresh_thread(), kImplicitMta) << "the held cookie still keeps the MTA";
    }
    EXPECT_EQ(winemu_violation_count(), 3u);
    EXPECT_NE(violations().find("CoDecrementMTAUsage of a cookie not handed out or given back already"),
              std::string::npos);
    winemu_clear_violations();
    EXPECT_EQ(winemu_outstanding().mta_usages, 1);
    EXPECT_EQ(CoDecrementMTAUsage(held), S_OK);
    EXPECT_EQ(CoIncrementMTAUsage(nullptr), E_INVALIDARG);
}

// A faulted increment hands out no cookie and holds nothing; the journal pairs each give-back
// with its hand-out by the cookie's value.
TEST_F(MtaUsage, FaultsAndJournal) {
    CO_MTA_USAGE_COOKIE cookie = reinterpret_cast<CO_MTA_USAGE_COOKIE>(&cookie);
    winemu_fail_next("CoIncrementMTAUsage", E_OUTOFMEMORY, nullptr, nullptr);
    EXPECT_EQ(CoIncrementMTAUsage(&cookie), E_OUTOFMEMORY);
    EXPECT_EQ(cookie, nullptr);
    EXPECT_EQ(winemu_outstanding().mta_usages, 0);

    winemu_journal_start();
    ASSERT_EQ(CoIncrementMTAUsage(&cookie), S_OK);
    ASSERT_EQ(CoDecrementMTAUsage(cookie), S_OK);
    winemu_journal_stop();
    ASSERT_EQ(winemu_journal_size(), 2u);
    winemu_journal_entry increment{}, decrement{};
    ASSERT_EQ(winemu_journal_record(0, &increment), 0);
    ASSERT_EQ(winemu_journal_record(1, &decrement), 0);
    EXPECT_STREQ(increment.call, "CoIncrementMTAUsage");
    EXPECT_STREQ(decrement.call, "CoDecrementMTAUsage");
    EXPECT_STRNE(increment.arguments, "cookie=0x0");
    EXPECT_STREQ(increment.arguments, decrement.arguments);
}

}  // namespace
