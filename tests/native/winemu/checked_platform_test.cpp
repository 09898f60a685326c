// checked_platform_test.cpp: misuse recorded as violations, the error object discarded by the next
// COM call, reserved arguments refused, success-code faults, and the journal's records.
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "com_test_support.hpp"

namespace {

using winemu_test::Ref;
using winemu_test::violations;

constexpr HRESULT kWrongThread = static_cast<HRESULT>(0x8001010Eu);

Ref<ITaskService> new_service() {
    Ref<ITaskService> service;
    CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                     reinterpret_cast<void**>(service.put()));
    return service;
}

class CheckedPlatform : public ::testing::Test {
protected:
    void SetUp() override {
        winemu_clear_faults();
        winemu_clear_violations();
    }
    void TearDown() override {
        winemu_journal_stop();
        winemu_test::expect_nothing_outstanding();
    }
};

// Each misuse, and a use that looks like one but is allowed, with the violation it records.
TEST_F(CheckedPlatform, ObjectsAreTiedToTheirApartment) {
    struct Case {
        const char* what;
        void (*misuse)();
        const char* violation;  // nullptr: none
    };
    const Case cases[] = {
        {"released after CoUninitialize",
         [] {
             winemu_test::on_fresh_thread([] {
                 CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                 Ref<ITaskService> service = new_service();
                 CoUninitialize();
             });
         },
         "Release on ITaskService #"},
        {"an STA object called from another thread",
         [] {
             winemu_test::on_fresh_thread([] {
                 CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
                 Ref<ITaskService> service = new_service();
                 winemu_test::on_fresh_thread([&] {
                     CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                     VARIANT empty{};
                     EXPECT_EQ(service->Connect(empty, empty, empty, empty), kWrongThread);
                     CoUninitialize();
                 });
                 service.reset();
                 CoUninitialize();
             });
         },
         "RPC_E_WRONG_THREAD"},
        {"an MTA object used from a thread in no apartment while the MTA lives (implicit MTA)",
         [] {
             winemu_test::on_fresh_thread([] {
                 CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                 Ref<ITaskService> service = new_service();
                 winemu_test::on_fresh_thread([&] {
                     VARIANT empty{};
                     EXPECT_EQ(service->Connect(empty, empty, empty, empty), S_OK);
                 });
                 service.reset();
                 CoUninitialize();
             });
         },
         nullptr},
        {"an error object read after its apartment ended",
         [] {
             winemu_test::on_fresh_thread([] {
                 CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                 winemu_set_plain_error("late");
                 Ref<IErrorInfo> info = winemu_test::take_error_info();
                 CoUninitialize();
                 winemu_test::Bstr text;
                 info->GetDescription(text.put());
             });
         },
         "GetDescription on IErrorInfo #"},
    };
    for (const Case& c : cases) {
        c.misuse();
        const std::string found = violations();
        winemu_clear_violations();
        if (c.violation) {
            EXPECT_NE(found.find(c.violation), std::string::npos) << c.what << ": " << found;
        } else {
            EXPECT_EQ(found, "[]") << c.what;
        }
    }
}

// Co* calls and methods of other objects discard the thread's error object; reading it, BSTRs,
// the loader and FormatMessageW leave it alone.
TEST_F(CheckedPlatform, TheNextComCallDiscardsTheErrorObject) {
    winemu_test::on_fresh_thread([] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        Ref<ITaskService> service = new_service();
        winemu_set_plain_error("kept");
        SysFreeString(SysAllocStringLen(u"x", 1));
        SysStringLen(nullptr);
        FreeLibrary(LoadLibraryExA("combase.dll", nullptr, 0));
        EXPECT_TRUE(winemu_test::take_error_info()) << "BSTR and loader calls leave it";

        winemu_set_plain_error("dropped");
        VARIANT empty{};
        service->Connect(empty, empty, empty, empty);
        EXPECT_FALSE(winemu_test::take_error_info()) << "a method of the service discards it";
        winemu_set_plain_error("dropped");
        service.reset();
        EXPECT_FALSE(winemu_test::take_error_info()) << "Release of the service discards it";
        CoUninitialize();
    });
}

TEST_F(CheckedPlatform, ReservedArgumentsAndSuccessCodeFaults) {
    winemu_test::on_fresh_thread([] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        Ref<ITaskService> service = new_service();
        VARIANT empty{};
        service->Connect(empty, empty, empty, empty);
        Ref<ITaskFolder> root;
        BSTR root_path = SysAllocStringLen(u"\\", 1);
        winemu_fail_next("GetFolder", S_FALSE, nullptr, nullptr);
        EXPECT_EQ(service->GetFolder(root_path, root.put()), S_FALSE) << "the code of the fault";
        EXPECT_TRUE(root) << "and the work of the call";
        BSTR name = SysAllocStringLen(u"Missing", 7);
        EXPECT_EQ(root->DeleteTask(name, 1), E_INVALIDARG) << "DeleteTask's flags are not supported";
        EXPECT_EQ(root->DeleteTask(name, 0), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        SysFreeString(name);
        SysFreeString(root_path);
        root.reset();
        service.reset();
        CoUninitialize();
    });
}

// Records carry the call, its object, its arguments, its result and the thread's state at entry;
// calls winemu makes for itself are not recorded.
TEST_F(CheckedPlatform, TheJournalRecordsCallsWithTheirState) {
    winemu_journal_start();
    winemu_test::on_fresh_thread([] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        Ref<ITaskService> service = new_service();
        service.reset();
        CoUninitialize();
    });
    winemu_journal_stop();
    CoUninitialize();  // after stop: not recorded
    ASSERT_EQ(winemu_journal_size(), 4u);
    winemu_journal_entry entry{};
    ASSERT_EQ(winemu_journal_record(1, &entry), 0);
    EXPECT_STREQ(entry.call, "CoCreateInstance");
    EXPECT_EQ(entry.object, 0u);
    EXPECT_EQ(entry.result, S_OK);
    EXPECT_EQ(entry.apartments, 1);
    EXPECT_EQ(entry.objects, 0);
    const std::string arguments = entry.arguments;
    EXPECT_TRUE(arguments.starts_with("class=\"TaskScheduler\", outer=null, context=0x1, service=#")) << arguments;
    ASSERT_EQ(winemu_journal_record(2, &entry), 0);
    EXPECT_STREQ(entry.call, "Release");
    EXPECT_NE(entry.object, 0u);
    EXPECT_EQ(entry.result, 0);
    EXPECT_EQ(entry.objects, 1);
    ASSERT_EQ(winemu_journal_record(3, &entry), 0);
    EXPECT_STREQ(entry.call, "CoUninitialize");
    EXPECT_EQ(entry.has_result, 0);
    EXPECT_EQ(winemu_journal_record(4, &entry), -1);
}

}  // namespace
