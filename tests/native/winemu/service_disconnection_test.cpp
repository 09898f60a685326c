// service_disconnection_test.cpp: the service going away under its callers (winemu_disconnect_service).
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "task_test_support.hpp"

namespace {

using winemu_test::Bstr;
using winemu_test::Ref;
using winemu_test::Text;

// One object of each kind the service hands out, all made before the service goes away.
struct ServiceObjects {
    ITaskService* service;
    ITaskFolder* root;
    Ref<ITaskFolderCollection> folders;
    Ref<ITaskFolder> subfolder;
    Ref<IRegisteredTaskCollection> tasks;
    Ref<IRegisteredTask> task;
    Ref<IRunningTask> running;
};

class ServiceDisconnection : public winemu_test::TaskServiceTest {
protected:
    ServiceObjects objects_before() {
        ServiceObjects made{service_.get(), root_.get(), {}, {}, {}, {}, {}};
        EXPECT_EQ(register_task(u"Kept"), S_OK);
        EXPECT_EQ(register_task(u"\\Sub\\Inner"), S_OK);
        EXPECT_EQ(root_->GetFolders(0, made.folders.put()), S_OK);
        VARIANT first{};
        first.vt = VT_I4;
        first.lVal = 1;
        EXPECT_EQ(made.folders->get_Item(first, made.subfolder.put()), S_OK);
        EXPECT_EQ(root_->GetTasks(0, made.tasks.put()), S_OK);
        EXPECT_EQ(get_task(u"Kept", &made.task), S_OK);
        VARIANT empty{};
        EXPECT_EQ(made.task->RunEx(empty, TASK_RUN_NO_FLAGS, 0, nullptr, made.running.put()), S_OK);
        return made;
    }
};

// Every kind of object made before answers each call with the disconnection's HRESULT, without
// doing its work; references still come and go, and a new connection works.
TEST_F(ServiceDisconnection, ObjectsMadeBeforeAnswerTheDisconnection) {
    struct Case {
        const char* what;
        std::function<HRESULT(ServiceObjects&)> call;
    };
    const Case cases[] = {
        {"service GetFolder",
         [](ServiceObjects& o) {
             Ref<ITaskFolder> folder;
             return o.service->GetFolder(Text(u"\\").get(), folder.put());
         }},
        {"service get_TargetServer", [](ServiceObjects& o) { Bstr s; return o.service->get_TargetServer(s.put()); }},
        {"folder GetTask",
         [](ServiceObjects& o) {
             Ref<IRegisteredTask> task;
             return o.root->GetTask(Text(u"Kept").get(), task.put());
         }},
        {"folder DeleteTask", [](ServiceObjects& o) { return o.root->DeleteTask(Text(u"Kept").get(), 0); }},
        {"folder get_Path", [](ServiceObjects& o) { Bstr p; return o.subfolder->get_Path(p.put()); }},
        {"folder collection get_Count", [](ServiceObjects& o) { LONG n; return o.folders->get_Count(&n); }},
        {"task collection get_Item",
         [](ServiceObjects& o) {
             VARIANT first{};
             first.vt = VT_I4;
             first.lVal = 1;
             Ref<IRegisteredTask> t;
             return o.tasks->get_Item(first, t.put());
         }},
        {"registered task get_State", [](ServiceObjects& o) { TASK_STATE s; return o.task->get_State(&s); }},
        {"registered task get_Name", [](ServiceObjects& o) { Bstr n; return o.task->get_Name(n.put()); }},
        {"running task get_EnginePID", [](ServiceObjects& o) { DWORD pid; return o.running->get_EnginePID(&pid); }},
    };
    for (const HRESULT given : {HRESULT{0}, HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)}) {
        const HRESULT expected = given ? given : RPC_E_DISCONNECTED;
        ServiceObjects before = objects_before();
        winemu_disconnect_service(given);
        for (const Case& c : cases) EXPECT_EQ(c.call(before), expected) << c.what;

        VARIANT_BOOL connected = VARIANT_TRUE;
        EXPECT_EQ(before.service->get_Connected(&connected), S_OK);
        EXPECT_EQ(connected, VARIANT_FALSE);
        Ref<ITaskService> same;
        EXPECT_EQ(before.service->QueryInterface(IID_ITaskService, reinterpret_cast<void**>(same.put())), S_OK);
        EXPECT_EQ(before.task->AddRef(), 2u);
        EXPECT_EQ(before.task->Release(), 1u);

        // A new connection: its objects work, and the refused DeleteTask deleted nothing.
        winemu_test::ThreadConnection fresh;
        ASSERT_NE(fresh.root(), nullptr);
        Ref<IRegisteredTask> kept;
        EXPECT_EQ(fresh.root()->GetTask(Text(u"Kept").get(), kept.put()), S_OK);
        service_.reset();
        root_.reset();
        ASSERT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                   reinterpret_cast<void**>(service_.put())),
                  S_OK);
        EXPECT_EQ(service_->get_Connected(&connected), S_OK);
        EXPECT_EQ(connected, VARIANT_FALSE) << "not connected until Connect";
        VARIANT empty{};
        ASSERT_EQ(service_->Connect(empty, empty, empty, empty), S_OK);
        EXPECT_EQ(service_->get_Connected(&connected), S_OK);
        EXPECT_EQ(connected, VARIANT_TRUE);
        ASSERT_EQ(service_->GetFolder(Text(u"\\").get(), root_.put()), S_OK);
    }
}

// The refused call is journaled with its arguments and result, and takes no fault queued for it.
TEST_F(ServiceDisconnection, RefusedCallsAreJournaledAndLeaveFaultsQueued) {
    winemu_disconnect_service(0);
    winemu_fail_next("GetTask", E_ACCESSDENIED, nullptr, nullptr);
    const Text name(u"Missing");
    Ref<IRegisteredTask> task;
    winemu_journal_start();
    EXPECT_EQ(root_->GetTask(name.get(), task.put()), RPC_E_DISCONNECTED);
    winemu_journal_stop();
    EXPECT_EQ(winemu_pending_faults(), 1u);
    ASSERT_EQ(winemu_journal_size(), 1u);
    winemu_journal_entry entry{};
    ASSERT_EQ(winemu_journal_record(0, &entry), 0);
    EXPECT_STREQ(entry.call, "GetTask");
    EXPECT_STREQ(entry.arguments, "path=\"Missing\", task=null");
    EXPECT_EQ(entry.result, RPC_E_DISCONNECTED);
}

}  // namespace
