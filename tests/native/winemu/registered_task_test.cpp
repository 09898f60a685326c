// registered_task_test.cpp: a registered task's state, last run, definition, enabling, stopping, run times.
#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <thread>

#include "task_test_support.hpp"

namespace {

using namespace winemu_test;

constexpr HRESULT has_not_run = 0x00041303;
constexpr HRESULT running_result = 0x00041301;
constexpr HRESULT terminated = 0x00041306;
constexpr auto invalid_task_hash = static_cast<HRESULT>(0x80041321u);

// Now as an OLE automation date of local time.
DATE local_date_now() {
    const std::time_t now = std::time(nullptr);
    std::tm fields{};
    localtime_r(&now, &fields);
    return static_cast<double>(now + fields.tm_gmtoff) / 86400.0 + 25569.0;
}

// A definition with triggers (the children of <Triggers>) before its settings.
std::u16string triggered_xml(std::u16string_view triggers) {
    return u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Triggers>" +
           std::u16string(triggers) + u"</Triggers><Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>";
}

class RegisteredTaskTest : public TaskServiceTest {
protected:
    // The task as the root folder's listing (hidden tasks included) hands it out.
    Ref<IRegisteredTask> listed(std::u16string_view name) {
        Ref<IRegisteredTaskCollection> tasks;
        EXPECT_EQ(root_->GetTasks(TASK_ENUM_HIDDEN, tasks.put()), S_OK);
        const Text bstr(name);
        VARIANT index{};
        index.vt = VT_BSTR;
        index.bstrVal = bstr.get();
        Ref<IRegisteredTask> task;
        if (tasks) {
            EXPECT_EQ(tasks->get_Item(index, task.put()), S_OK) << testing::PrintToString(name);
        }
        return task;
    }
    static TASK_STATE state_of(IRegisteredTask* task) {
        TASK_STATE state = TASK_STATE_UNKNOWN;
        EXPECT_EQ(task->get_State(&state), S_OK);
        return state;
    }
};

TEST_F(RegisteredTaskTest, PropertiesAnswerForEachSituationOfTheTask) {
    ASSERT_EQ(register_task(u"Fresh"), S_OK);
    ASSERT_EQ(register_task(u"Ended", task_xml(u"/bin/sh", u"-c \"exit 3\"")), S_OK);
    ASSERT_EQ(run(u"Ended"), S_OK);
    ASSERT_EQ(winemu_wait_runs("Ended", 10), 0);
    ASSERT_EQ(register_task(u"Running", task_xml(u"sleep", u"30")), S_OK);
    ASSERT_EQ(run(u"Running"), S_OK);
    ASSERT_TRUE(eventually([] { return runs_of("Running").find("\"state\": \"running\"") != std::string::npos; }));
    ASSERT_EQ(register_task(u"Off", task_xml(u"/bin/true", u"", u"<Enabled>false</Enabled>")), S_OK);
    ASSERT_EQ(register_task(u"Hidden", task_xml(u"/bin/true", u"", u"<Hidden>true</Hidden>")), S_OK);
    ASSERT_EQ(register_task(u"Damaged"), S_OK);
    { std::ofstream(library_ / "t.DAMAGED", std::ios::trunc) << "\\Damaged\n<Task xmlns="; }
    const DATE now = local_date_now();

    const struct {
        std::u16string name;
        HRESULT state_hr;
        TASK_STATE state;
        VARIANT_BOOL enabled;
        HRESULT last_run_hr;
        LONG last_result;
        HRESULT definition_hr;  // Xml and NextRunTime
    } cases[] = {
        {u"Fresh", S_OK, TASK_STATE_READY, VARIANT_TRUE, has_not_run, has_not_run, S_OK},
        {u"Ended", S_OK, TASK_STATE_READY, VARIANT_TRUE, S_OK, 3, S_OK},
        {u"Running", S_OK, TASK_STATE_RUNNING, VARIANT_TRUE, S_OK, running_result, S_OK},
        {u"Off", S_OK, TASK_STATE_DISABLED, VARIANT_FALSE, has_not_run, has_not_run, S_OK},
        {u"Hidden", S_OK, TASK_STATE_READY, VARIANT_TRUE, has_not_run, has_not_run, S_OK},
        {u"Damaged", invalid_task_hash, TASK_STATE_UNKNOWN, VARIANT_FALSE, has_not_run, has_not_run, invalid_task_hash},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.name));
        const Ref<IRegisteredTask> task = listed(c.name);
        ASSERT_TRUE(task);
        TASK_STATE state = TASK_STATE_QUEUED;
        EXPECT_EQ(task->get_State(&state), c.state_hr);
        EXPECT_EQ(state, c.state);
        VARIANT_BOOL enabled = 1;
        EXPECT_EQ(task->get_Enabled(&enabled), c.state_hr);
        EXPECT_EQ(enabled, c.enabled);
        DATE last_run = -1;
        EXPECT_EQ(task->get_LastRunTime(&last_run), c.last_run_hr);
        EXPECT_NEAR(last_run, c.last_run_hr == S_OK ? now : 0.0, 60.0 / 86400) << "ran a minute around now, or never";
        LONG result = -1;
        EXPECT_EQ(task->get_LastTaskResult(&result), S_OK);
        EXPECT_EQ(result, c.last_result);
        LONG missed = -1;
        EXPECT_EQ(task->get_NumberOfMissedRuns(&missed), S_OK);
        EXPECT_EQ(missed, 0);
        DATE next = -1;
        EXPECT_EQ(task->get_NextRunTime(&next), c.definition_hr);
        EXPECT_EQ(next, 0.0) << "no time trigger";
        Bstr xml;
        EXPECT_EQ(task->get_Xml(xml.put()), c.definition_hr);
        EXPECT_EQ(view(xml).find(u"<Actions>") != std::u16string_view::npos, c.definition_hr == S_OK);
        Bstr path;
        EXPECT_EQ(task->get_Path(path.put()), S_OK);
        EXPECT_EQ(view(path), u"\\" + c.name);
    }
    Ref<IRegisteredTask> task = listed(u"Fresh");
    EXPECT_EQ(task->get_State(nullptr), E_POINTER);
    EXPECT_EQ(task->get_LastRunTime(nullptr), E_POINTER);
}

// Every service method opens one frame: a fault queued for the method is taken before a null out
// pointer is refused, and a null out pointer is refused before any work, whichever frame the
// method goes through (an object handed out, a property asked of the service, one answered from
// what the object holds).
TEST_F(RegisteredTaskTest, AFrameTakesAFaultThenRefusesANullOutPointer) {
    ASSERT_EQ(register_task(u"Framed", task_xml(u"/bin/true")), S_OK);
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Framed", &task), S_OK);
    const Text name(u"Framed");
    const struct {
        const char* method;
        std::function<HRESULT()> call_with_null_out;
    } cases[] = {
        {"GetTask", [&] { return root_->GetTask(name.get(), nullptr); }},
        {"GetTasks", [&] { return root_->GetTasks(0, nullptr); }},
        {"get_State", [&] { return task->get_State(nullptr); }},
        {"get_NextRunTime", [&] { return task->get_NextRunTime(nullptr); }},
        {"get_LastTaskResult", [&] { return task->get_LastTaskResult(nullptr); }},
        {"get_HighestVersion", [&] { return service_->get_HighestVersion(nullptr); }},
    };
    for (const auto& c : cases) {
        winemu_fail_next(c.method, E_ACCESSDENIED, nullptr, nullptr);
        EXPECT_EQ(c.call_with_null_out(), E_ACCESSDENIED) << c.method;
        EXPECT_EQ(winemu_pending_faults(), 0u) << c.method;
        EXPECT_EQ(c.call_with_null_out(), E_POINTER) << c.method;
    }
}

// Listed tasks read their runs through the folder's directory that the listing opened: it stays
// open for them after the collection and the folder are released, and runs started after the
// listing show, for a short name and for one split over several file names alike.
TEST_F(RegisteredTaskTest, ListedTasksSeeRunsStartedAfterTheListing) {
    const std::u16string long_name(200, u'\u00e9');
    const std::u16string names[] = {u"Sub\\Short", u"Sub\\" + long_name};
    for (const auto& name : names) ASSERT_EQ(register_task(name, task_xml(u"/bin/sh", u"-c \"exit 4\"")), S_OK);
    std::vector<Ref<IRegisteredTask>> tasks;
    {
        Ref<ITaskFolder> sub;
        ASSERT_EQ(root_->GetFolder(Text(u"Sub").get(), sub.put()), S_OK);
        Ref<IRegisteredTaskCollection> listing;
        ASSERT_EQ(sub->GetTasks(0, listing.put()), S_OK);
        for (LONG i = 1; i <= 2; ++i) {
            VARIANT index{};
            index.vt = VT_I4;
            index.lVal = i;
            ASSERT_EQ(listing->get_Item(index, tasks.emplace_back().put()), S_OK);
        }
    }
    for (const auto& task : tasks) {
        LONG result = -1;
        EXPECT_EQ(task->get_LastTaskResult(&result), S_OK);
        EXPECT_EQ(result, has_not_run);
        Ref<IRunningTask> instance;
        ASSERT_EQ(task->RunEx(VARIANT{}, TASK_RUN_NO_FLAGS, 0, nullptr, instance.put()), S_OK);
    }
    ASSERT_EQ(winemu_wait_runs(nullptr, 10), 0);
    for (const auto& task : tasks) {
        LONG result = -1;
        EXPECT_EQ(task->get_LastTaskResult(&result), S_OK);
        EXPECT_EQ(result, 4);
        DATE last_run = 0;
        EXPECT_EQ(task->get_LastRunTime(&last_run), S_OK);
        EXPECT_EQ(state_of(task.get()), TASK_STATE_READY);
    }
}

// Threads read the listed tasks' state at once and let go of their references in any order: the
// folder's directory stays open until the last of them is released.
TEST_F(RegisteredTaskTest, ListedTasksAreReadFromSeveralThreadsAtOnce) {
    for (const auto* name : {u"One", u"Two", u"Three"}) {
        ASSERT_EQ(register_task(name, task_xml(u"/bin/sh", u"-c \"exit 4\"")), S_OK);
        ASSERT_EQ(run(name), S_OK);
    }
    ASSERT_EQ(winemu_wait_runs(nullptr, 10), 0);
    std::vector<std::vector<Ref<IRegisteredTask>>> per_thread(4);
    {
        Ref<IRegisteredTaskCollection> listing;
        ASSERT_EQ(root_->GetTasks(0, listing.put()), S_OK);
        for (auto& tasks : per_thread) {
            for (LONG i = 1; i <= 3; ++i) {
                VARIANT index{};
                index.vt = VT_I4;
                index.lVal = i;
                ASSERT_EQ(listing->get_Item(index, tasks.emplace_back().put()), S_OK);
            }
        }
    }
    std::vector<std::thread> threads;
    for (auto& tasks : per_thread) {
        threads.emplace_back([&tasks] {
            for (int round = 0; round < 50; ++round) {
                for (const auto& task : tasks) {
                    LONG result = -1;
                    EXPECT_EQ(task->get_LastTaskResult(&result), S_OK);
                    EXPECT_EQ(result, 4);
                }
            }
            tasks.clear();
        });
    }
    for (auto& thread : threads) thread.join();
}

TEST_F(RegisteredTaskTest, PutEnabledRewritesTheStoredDefinition) {
    Ref<IRegisteredTask> task;
    ASSERT_EQ(register_task(u"Toggled", task_xml(u"/bin/true", u"", u"<Enabled>false</Enabled>"), TASK_CREATE, &task),
              S_OK);
    ASSERT_EQ(state_of(task.get()), TASK_STATE_DISABLED);
    ASSERT_EQ(task->put_Enabled(VARIANT_TRUE), S_OK);
    EXPECT_EQ(state_of(task.get()), TASK_STATE_READY) << "the same object reads its change back";
    Ref<IRegisteredTask> again;
    ASSERT_EQ(get_task(u"toggled", &again), S_OK);
    EXPECT_EQ(state_of(again.get()), TASK_STATE_READY);
    Bstr xml;
    ASSERT_EQ(again->get_Xml(xml.put()), S_OK);
    EXPECT_NE(view(xml).find(u"<Enabled>true</Enabled>"), std::u16string_view::npos);

    ASSERT_EQ(again->put_Enabled(VARIANT_FALSE), S_OK);
    ASSERT_EQ(again->put_Enabled(VARIANT_FALSE), S_OK);  // already so: nothing to write
    Ref<IRunningTask> refused;
    EXPECT_EQ(again->Run(VARIANT{}, refused.put()), static_cast<HRESULT>(0x80041326u));  // SCHED_E_TASK_DISABLED
    ASSERT_EQ(get_task(u"Toggled", &again), S_OK);
    EXPECT_EQ(state_of(again.get()), TASK_STATE_DISABLED);

    ASSERT_EQ(delete_task(u"Toggled"), S_OK);
    EXPECT_EQ(task->put_Enabled(VARIANT_TRUE), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(get_task(u"Toggled"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << "not registered again";
}

TEST_F(RegisteredTaskTest, StopEndsEveryInstanceAndSaysWhenNoneRan) {
    ASSERT_EQ(register_task(u"Sleeper", task_xml(u"sleep", u"30", u"<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>")),
              S_OK);
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Sleeper", &task), S_OK);
    EXPECT_EQ(task->Stop(0), S_FALSE) << "nothing runs";
    EXPECT_EQ(task->Stop(1), E_INVALIDARG);
    ASSERT_EQ(run(u"Sleeper"), S_OK);
    ASSERT_EQ(run(u"Sleeper"), S_OK);
    ASSERT_EQ(state_of(task.get()), TASK_STATE_RUNNING);
    EXPECT_EQ(task->Stop(0), S_OK);
    EXPECT_EQ(winemu_wait_runs("Sleeper", 0), 0);
    EXPECT_EQ(state_of(task.get()), TASK_STATE_READY);
    LONG result = 0;
    ASSERT_EQ(task->get_LastTaskResult(&result), S_OK);
    EXPECT_EQ(result, terminated);
    ASSERT_EQ(delete_task(u"Sleeper"), S_OK);
    EXPECT_EQ(task->Stop(0), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

// The contract around the trigger engine; rows with time triggers join this table with the engine.
TEST_F(RegisteredTaskTest, GetRunTimesContract) {
    SYSTEMTIME start{2026, 1, 4, 1, 0, 0, 0, 0};
    SYSTEMTIME end{2026, 12, 4, 31, 23, 59, 59, 0};
    SYSTEMTIME february_30{2026, 2, 0, 30, 0, 0, 0, 0};
    ASSERT_EQ(register_task(u"None", task_xml()), S_OK);
    ASSERT_EQ(register_task(u"Logon", triggered_xml(u"<LogonTrigger/>")), S_OK);
    ASSERT_EQ(register_task(u"Disabled", triggered_xml(u"<BootTrigger><Enabled>false</Enabled></BootTrigger>")), S_OK);
    constexpr DWORD untouched = 7;
    const struct {
        const char* what;
        std::u16string task;
        SYSTEMTIME* start;
        SYSTEMTIME* end;
        bool count;  // a count pointer given
        bool array;  // an array pointer given
        HRESULT hr;
    } cases[] = {
        {"no trigger", u"None", &start, &end, true, true, 0x00041307},        // SCHED_S_TASK_NO_VALID_TRIGGERS
        {"only disabled triggers", u"Disabled", &start, &end, true, true, 0x00041307},
        {"triggers without set times", u"Logon", &start, &end, true, true, 0x00041308},  // SCHED_S_EVENT_TRIGGER
        {"open interval", u"None", nullptr, nullptr, true, true, 0x00041307},
        {"no count", u"None", &start, &end, false, true, E_INVALIDARG},
        {"no array", u"None", &start, &end, true, false, E_INVALIDARG},
        {"end before start", u"None", &end, &start, true, true, E_INVALIDARG},
        {"no such day", u"None", &february_30, &end, true, true, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Ref<IRegisteredTask> task;
        ASSERT_EQ(get_task(c.task, &task), S_OK);
        DWORD count = untouched;
        auto* times = reinterpret_cast<SYSTEMTIME*>(0x1);  // overwritten with null, never freed
        EXPECT_EQ(task->GetRunTimes(c.start, c.end, c.count ? &count : nullptr, c.array ? &times : nullptr), c.hr);
        EXPECT_EQ(count, c.hr == E_INVALIDARG && !c.array ? untouched : c.count ? 0u : untouched);
        EXPECT_EQ(times, c.array ? nullptr : reinterpret_cast<SYSTEMTIME*>(0x1));
    }
}

}  // namespace
