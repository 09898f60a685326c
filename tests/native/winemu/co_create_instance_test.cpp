// co_create_instance_test.cpp: CoCreateInstance's checks, in the order Windows makes them, and its faults.
#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "com_test_support.hpp"

namespace {

using winemu_test::on_fresh_thread;
using winemu_test::Ref;

constexpr CLSID CLSID_Unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

struct CreateCase {
    const char* what;
    bool in_apartment;
    const CLSID& clsid;
    bool outer;
    DWORD context;
    bool null_out;
    HRESULT expected;
};

TEST(CoCreateInstance, RefusalsTable) {
    const CreateCase cases[] = {
        {"no apartment", false, CLSID_TaskScheduler, false, CLSCTX_INPROC_SERVER, false, CO_E_NOTINITIALIZED},
        {"null out pointer first", false, CLSID_TaskScheduler, false, CLSCTX_INPROC_SERVER, true, E_POINTER},
        {"unknown class", true, CLSID_Unknown, false, CLSCTX_INPROC_SERVER, false, REGDB_E_CLASSNOTREG},
        {"local server only", true, CLSID_TaskScheduler, false, CLSCTX_LOCAL_SERVER, false, REGDB_E_CLASSNOTREG},
        {"aggregation", true, CLSID_TaskScheduler, true, CLSCTX_INPROC_SERVER, false, CLASS_E_NOAGGREGATION},
        {"aggregation, unknown class", true, CLSID_Unknown, true, CLSCTX_INPROC_SERVER, false, REGDB_E_CLASSNOTREG},
    };
    for (const CreateCase& c : cases) {
        on_fresh_thread([&] {
            if (c.in_apartment) {
                ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
            }
            winemu_set_plain_error("outer object");  // any IUnknown stands in for an outer object
            Ref<IErrorInfo> outer = winemu_test::take_error_info();
            void* object = reinterpret_cast<void*>(0x1);
            EXPECT_EQ(CoCreateInstance(c.clsid, c.outer ? outer.get() : nullptr, c.context, IID_ITaskService,
                                       c.null_out ? nullptr : &object),
                      c.expected)
                << c.what;
            if (!c.null_out) {
                EXPECT_EQ(object, nullptr) << c.what;
            }
            outer.reset();  // before its apartment ends
            if (c.in_apartment) CoUninitialize();
        });
    }
    EXPECT_EQ(winemu_outstanding().objects, 0);
    EXPECT_EQ(winemu_test::violations(), "[]");
}

TEST(CoCreateInstance, FaultsAreReturnedWithNoObject) {
    winemu_clear_faults();
    on_fresh_thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        for (const HRESULT fault : {E_ACCESSDENIED, S_OK}) {
            winemu_fail_next("CoCreateInstance", fault, nullptr, nullptr);
            void* object = reinterpret_cast<void*>(0x1);
            EXPECT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService, &object),
                      fault);
            EXPECT_EQ(object, nullptr) << "a fault of 0 is success without an object";
        }
        CoUninitialize();
    });
    EXPECT_EQ(winemu_outstanding().objects, 0);
}

TEST(CoCreateInstance, TaskSchedulerGivesAServiceObjectInEitherModel) {
    for (const DWORD model : {COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED}) {
        on_fresh_thread([model] {
            ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
            Ref<ITaskService> service;
            const HRESULT result = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_ITaskService, reinterpret_cast<void**>(service.put()));
            if (result == E_NOTIMPL) {
                CoUninitialize();
                GTEST_SKIP() << "the Task Scheduler service is not linked in";
            }
            EXPECT_EQ(result, S_OK);
            EXPECT_TRUE(service);
            service.reset();
            CoUninitialize();
        });
    }
    EXPECT_EQ(winemu_outstanding().objects, 0);
}

}  // namespace
