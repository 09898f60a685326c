// running_task_test.cpp: running instances (IRunningTask, its collections), RunEx's parameters,
// and the SAFEARRAYs that carry them.
#include <signal.h>

#include <string>
#include <vector>

#include "launch/run_parameters.hpp"
#include "launch/run_records.hpp"
#include "task_test_support.hpp"

namespace {

using namespace winemu_test;

constexpr HRESULT not_running = static_cast<HRESULT>(0x8004130Bu);  // SCHED_E_TASK_NOT_RUNNING

// The texts as RunEx takes several: a VT_ARRAY | VT_BSTR VARIANT, owned until VariantClear.
VARIANT bstr_array(const std::vector<std::u16string>& values) {
    VARIANT variant{};
    variant.vt = VT_ARRAY | VT_BSTR;
    variant.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(values.size()));
    void* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(variant.parray, &data), S_OK);
    for (std::size_t i = 0; i < values.size(); ++i)
        static_cast<BSTR*>(data)[i] = SysAllocStringLen(values[i].data(), static_cast<UINT>(values[i].size()));
    EXPECT_EQ(SafeArrayUnaccessData(variant.parray), S_OK);
    return variant;
}

std::string text_of(BSTR text) {
    std::string out;
    for (UINT i = 0; i < SysStringLen(text); ++i) out.push_back(static_cast<char>(text[i]));
    SysFreeString(text);
    return out;
}

// Placeholders are replaced once, by index, as written in the documentation; anything else stays.
TEST(RunParameters, SubstitutionTakesOnlyPlaceholdersWithValues) {
    std::vector<std::string> many;
    for (int i = 0; i < 32; ++i) many.push_back("v" + std::to_string(i));
    const struct {
        std::string text;
        std::vector<std::string> values;
        std::string expected;
    } cases[] = {
        {"$(Arg0)", {"x"}, "x"},
        {"a$(Arg1)b$(Arg0)c$(Arg1)", {"0", "1"}, "a1b0c1"},
        {"$(Arg31) $(Arg10)", many, "v31 v10"},
        {"$(Arg2)", {"x"}, "$(Arg2)"},                             // no value: kept as written
        {"$(Arg32)", many, "$(Arg32)"},                            // past the last value
        {"$(Arg01) $(arg0) $(Arg0 $(Arg) $Arg0", {"x"}, "$(Arg01) $(arg0) $(Arg0 $(Arg) $Arg0"},
        {"$($(Arg0))", {"x"}, "$(x)"},
        {"$(Arg0)$(Arg1)", {"$(Arg1)", "y"}, "$(Arg1)y"},          // a value is not read again
        {"%PATH% $(Arg0)", {"%HOME%"}, "%PATH% %HOME%"},           // environment references are left
        {"$(Arg0)", {""}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(winemu::substitute_parameters(c.text, c.values), c.expected) << c.text;
}

TEST(RunRecords, InstanceGuidIsKeptOrMadeFromTheRunNumber) {
    winemu::RunRecord record;
    record.run = 0xABCD;
    record.argv = {"/bin/true", "\"instance\": \"{fake}\""};
    const std::string old_line = winemu::run_record_line(record);
    EXPECT_EQ(winemu::instance_guid_of(old_line, 0xABCD), "{0000ABCD-0000-0000-0000-000000000000}");
    record.instance = "{11111111-2222-4333-8444-555555555555}";
    const std::string line = winemu::run_record_line(record);
    EXPECT_EQ(winemu::instance_guid_of(line, 0xABCD), record.instance);
    EXPECT_EQ(winemu::read_outcome(line)->run, 0xABCDu) << "the outcome reads as before";
    EXPECT_EQ(winemu::json_string_text("\"a\\\"b\\\\c\\u0001\""), std::string("a\"b\\c\x01"));
}

TEST(SafeArrays, VectorsKeepTheirTypeBoundsAndLocks) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 3, 2);
    ASSERT_NE(array, nullptr);
    LONG bound = 0;
    VARTYPE type = 0;
    EXPECT_EQ(SafeArrayGetLBound(array, 1, &bound), S_OK);
    EXPECT_EQ(bound, 3);
    EXPECT_EQ(SafeArrayGetUBound(array, 1, &bound), S_OK);
    EXPECT_EQ(bound, 4);
    EXPECT_EQ(SafeArrayGetUBound(array, 2, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetVartype(array, &type), S_OK);
    EXPECT_EQ(type, VT_BSTR);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    static_cast<BSTR*>(data)[0] = SysAllocStringLen(u"x", 1);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 1), nullptr) << "only BSTR and VARIANT elements";
    VARIANT holder{};
    holder.vt = VT_ARRAY | VT_BSTR;
    holder.parray = array;
    EXPECT_EQ(VariantClear(&holder), S_OK);  // frees the array and its BSTR
    EXPECT_EQ(holder.vt, VT_EMPTY);
    EXPECT_EQ(winemu_outstanding().bstrs, 0);
    EXPECT_EQ(winemu_outstanding().buffers, 0);
}

class RunningTasks : public TaskServiceTest {
protected:
    // Starts the task with the parameters; the instance in *running.
    HRESULT run_with(std::u16string_view name, const VARIANT& parameters, Ref<IRunningTask>* running = nullptr) {
        Ref<IRegisteredTask> task;
        if (const HRESULT hr = get_task(name, &task); FAILED(hr)) return hr;
        Ref<IRunningTask> instance;
        const HRESULT hr = task->RunEx(parameters, TASK_RUN_NO_FLAGS, 0, nullptr, instance.put());
        if (running) *running = std::move(instance);
        return hr;
    }
    std::vector<Ref<IRunningTask>> items(IRunningTaskCollection* collection) {
        LONG count = 0;
        EXPECT_EQ(collection->get_Count(&count), S_OK);
        std::vector<Ref<IRunningTask>> found(static_cast<std::size_t>(count));
        for (LONG i = 0; i < count; ++i) {
            VARIANT index{};
            index.vt = VT_I4;
            index.lVal = i + 1;
            EXPECT_EQ(collection->get_Item(index, found[static_cast<std::size_t>(i)].put()), S_OK);
        }
        return found;
    }
    std::vector<std::string> instance_guids(std::u16string_view name) {
        Ref<IRegisteredTask> task;
        EXPECT_EQ(get_task(name, &task), S_OK);
        Ref<IRunningTaskCollection> instances;
        EXPECT_EQ(task->GetInstances(0, instances.put()), S_OK);
        std::vector<std::string> guids;
        for (auto& item : items(instances.get())) {
            BSTR guid = nullptr;
            EXPECT_EQ(item->get_InstanceGuid(&guid), S_OK);
            guids.push_back(text_of(guid));
        }
        return guids;
    }
    std::string guid_of(IRunningTask* running) {
        BSTR guid = nullptr;
        EXPECT_EQ(running->get_InstanceGuid(&guid), S_OK);
        return text_of(guid);
    }
    TASK_STATE state_of(IRunningTask* running) {
        TASK_STATE state = TASK_STATE_UNKNOWN;
        EXPECT_EQ(running->get_State(&state), S_OK);
        return state;
    }
};

// The values reach command, arguments and working directory; what RunEx cannot take starts nothing.
TEST_F(RunningTasks, ParametersReachTheActionsOrAreRefused) {
    const std::u16string xml =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
        u"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
        u"  <Actions><Exec><Command>/nonexistent/$(Arg0)</Command><Arguments>$(Arg1) \"$(Arg2)\" $(Arg3)</Arguments>"
        u"<WorkingDirectory>/nonexistent-$(Arg1)</WorkingDirectory></Exec></Actions>\n</Task>\n";
    ASSERT_EQ(register_task(u"Params", xml), S_OK);
    VARIANT values = bstr_array({u"prog", u"one", u"two words"});
    ASSERT_EQ(run_with(u"Params", values), S_OK);
    const std::string runs = runs_of("Params");
    EXPECT_NE(runs.find("\"argv\": [\"/nonexistent/prog\", \"one\", \"two words\", \"$(Arg3)\"]"), std::string::npos) << runs;
    EXPECT_NE(runs.find("/nonexistent-one"), std::string::npos) << "the working directory, named in the error";
    EXPECT_EQ(VariantClear(&values), S_OK);

    VARIANT one{};
    one.vt = VT_BSTR;
    one.bstrVal = SysAllocStringLen(u"solo", 4);
    ASSERT_EQ(run_with(u"Params", one), S_OK);
    EXPECT_NE(runs_of("Params").find("/nonexistent/solo"), std::string::npos);
    EXPECT_EQ(VariantClear(&one), S_OK);

    // An array of VARIANTs holding BSTRs is taken too; anything else is refused.
    VARIANT boxed{};
    boxed.vt = VT_ARRAY | VT_VARIANT;
    boxed.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    auto* box = static_cast<VARIANT*>(boxed.parray->pvData);
    box->vt = VT_BSTR;
    box->bstrVal = SysAllocStringLen(u"boxed", 5);
    ASSERT_EQ(run_with(u"Params", boxed), S_OK);
    EXPECT_NE(runs_of("Params").find("/nonexistent/boxed"), std::string::npos);
    const std::size_t recorded = runs_of("Params").size();
    box->vt = VT_I4;  // the BSTR is no longer held by the array: freed here
    SysFreeString(box->bstrVal);
    box->lVal = 1;
    EXPECT_EQ(run_with(u"Params", boxed), E_INVALIDARG);
    EXPECT_EQ(VariantClear(&boxed), S_OK);

    std::vector<std::u16string> too_many(33, u"x");
    VARIANT excess = bstr_array(too_many);
    EXPECT_EQ(run_with(u"Params", excess), E_INVALIDARG);
    EXPECT_EQ(VariantClear(&excess), S_OK);
    VARIANT number{};
    number.vt = VT_I4;
    EXPECT_EQ(run_with(u"Params", number), E_INVALIDARG);
    EXPECT_EQ(runs_of("Params").size(), recorded) << "a refused run records nothing";
}

// An instance is found again by its GUID, stops alone, and once ended answers as not running.
TEST_F(RunningTasks, InstancesAreListedStoppedOneByOneAndEnd) {
    const std::u16string xml =
        task_xml(u"/bin/sleep", u"30", u"<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>");
    ASSERT_EQ(register_task(u"Folder\\Sleeper", xml), S_OK);
    Ref<IRunningTask> first;
    Ref<IRunningTask> second;
    ASSERT_EQ(run(u"Folder\\Sleeper", &first), S_OK);
    ASSERT_EQ(run(u"Folder\\Sleeper", &second), S_OK);
    EXPECT_EQ(instance_guids(u"Folder\\Sleeper"), (std::vector{guid_of(first.get()), guid_of(second.get())}));
    EXPECT_EQ(state_of(first.get()), TASK_STATE_RUNNING);
    BSTR text = nullptr;
    EXPECT_EQ(first->get_Path(&text), S_OK);
    EXPECT_EQ(text_of(text), "\\Folder\\Sleeper");
    EXPECT_EQ(first->get_Name(&text), S_OK);
    EXPECT_EQ(text_of(text), "Sleeper");
    EXPECT_EQ(first->get_CurrentAction(&text), S_OK);
    EXPECT_EQ(text_of(text), "/bin/sleep");
    DWORD engine = 0;
    EXPECT_EQ(first->get_EnginePID(&engine), S_OK);
    EXPECT_GT(engine, 1u);
    EXPECT_EQ(first->Refresh(), S_OK);

    EXPECT_EQ(first->Stop(), S_OK);
    EXPECT_EQ(instance_guids(u"Folder\\Sleeper"), std::vector{guid_of(second.get())}) << "the other runs on";
    EXPECT_EQ(first->Refresh(), not_running);
    EXPECT_EQ(first->Stop(), not_running);
    EXPECT_EQ(state_of(first.get()), TASK_STATE_RUNNING) << "what it last said";
    EXPECT_NE(runs_of("Folder\\Sleeper").find("\"state\": \"terminated\""), std::string::npos);

    // Stopped by another (the task's Stop): this instance learns it at its next call.
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Folder\\Sleeper", &task), S_OK);
    EXPECT_EQ(task->Stop(0), S_OK);
    EXPECT_EQ(second->Refresh(), not_running);
    EXPECT_EQ(second->Stop(), not_running);
    EXPECT_TRUE(instance_guids(u"Folder\\Sleeper").empty());
}

// A run queued behind another shows as queued, and runs once the first is stopped.
TEST_F(RunningTasks, QueuedInstanceStartsWhenTheFirstEnds) {
    ASSERT_EQ(register_task(u"Queue", task_xml(u"/bin/sleep", u"30", u"<MultipleInstancesPolicy>Queue</MultipleInstancesPolicy>")),
              S_OK);
    Ref<IRunningTask> first;
    Ref<IRunningTask> queued;
    ASSERT_EQ(run(u"Queue", &first), S_OK);
    ASSERT_EQ(run(u"Queue", &queued), S_OK);
    EXPECT_EQ(state_of(queued.get()), TASK_STATE_QUEUED);
    ASSERT_EQ(queued->Refresh(), S_OK);
    EXPECT_EQ(state_of(queued.get()), TASK_STATE_QUEUED);
    EXPECT_EQ(first->Stop(), S_OK);
    EXPECT_TRUE(eventually([&] { return queued->Refresh() == S_OK && state_of(queued.get()) == TASK_STATE_RUNNING; }));
    EXPECT_EQ(queued->Stop(), S_OK);
}

// GetRunningTasks walks the library; hidden tasks' instances only when asked for.
TEST_F(RunningTasks, ServiceListsEveryTasksInstances) {
    ASSERT_EQ(register_task(u"Shown", task_xml(u"/bin/sleep", u"30")), S_OK);
    ASSERT_EQ(register_task(u"Deep\\Hidden", task_xml(u"/bin/sleep", u"30", u"<Hidden>true</Hidden>")), S_OK);
    ASSERT_EQ(register_task(u"Idle"), S_OK);
    ASSERT_EQ(run(u"Shown"), S_OK);
    ASSERT_EQ(run(u"Deep\\Hidden"), S_OK);
    const auto paths = [&](LONG flags) {
        Ref<IRunningTaskCollection> all;
        EXPECT_EQ(service_->GetRunningTasks(flags, all.put()), S_OK);
        std::vector<std::string> found;
        for (auto& item : items(all.get())) {
            BSTR path = nullptr;
            EXPECT_EQ(item->get_Path(&path), S_OK);
            found.push_back(text_of(path));
        }
        return found;
    };
    EXPECT_EQ(paths(0), std::vector<std::string>{"\\Shown"});
    EXPECT_EQ(paths(TASK_ENUM_HIDDEN), (std::vector<std::string>{"\\Shown", "\\Deep\\Hidden"}));
    Ref<IRunningTaskCollection> refused;
    EXPECT_EQ(service_->GetRunningTasks(2, refused.put()), E_INVALIDARG);
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Shown", &task), S_OK);
    EXPECT_EQ(task->GetInstances(1, refused.put()), E_INVALIDARG);
    EXPECT_EQ(task->Stop(0), S_OK);
    ASSERT_EQ(get_task(u"Deep\\Hidden", &task), S_OK);
    EXPECT_EQ(task->Stop(0), S_OK);
}

TEST_F(RunningTasks, CollectionIndexesAsWindowsAnswersThem) {
    ASSERT_EQ(register_task(u"Sleeper", task_xml(u"/bin/sleep", u"30")), S_OK);
    ASSERT_EQ(run(u"Sleeper"), S_OK);
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Sleeper", &task), S_OK);
    Ref<IRunningTaskCollection> instances;
    ASSERT_EQ(task->GetInstances(0, instances.put()), S_OK);
    const struct {
        VARTYPE vt;
        LONG value;
        HRESULT expected;
    } cases[] = {
        {VT_I4, 1, S_OK}, {VT_I2, 1, S_OK}, {VT_UI1, 1, S_OK},     {VT_I4, 0, E_INVALIDARG},
        {VT_I4, 2, E_INVALIDARG}, {VT_I4, -1, E_INVALIDARG}, {VT_EMPTY, 0, DISP_E_TYPEMISMATCH},
    };
    for (const auto& c : cases) {
        VARIANT index{};
        index.vt = c.vt;
        index.lVal = c.value;
        Ref<IRunningTask> item;
        EXPECT_EQ(instances->get_Item(index, item.put()), c.expected) << c.vt << " " << c.value;
        EXPECT_EQ(static_cast<bool>(item), c.expected == S_OK);
    }
    VARIANT name{};
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocStringLen(u"Sleeper", 7);
    Ref<IRunningTask> item;
    EXPECT_EQ(instances->get_Item(name, item.put()), DISP_E_TYPEMISMATCH) << "no names in this collection";
    EXPECT_EQ(VariantClear(&name), S_OK);
    Ref<IUnknown> enumerator;
    ASSERT_EQ(instances->get__NewEnum(enumerator.put()), S_OK);
    Ref<IEnumVARIANT> items;
    ASSERT_EQ(enumerator->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(items.put())), S_OK);
    VARIANT first{};
    ULONG fetched = 0;
    EXPECT_EQ(items->Next(1, &first, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(first.vt, VT_DISPATCH);
    EXPECT_EQ(VariantClear(&first), S_OK);
    EXPECT_EQ(task->Stop(0), S_OK);
}

// A RunEx that starts nothing (a disabled task) hands out an instance that has already ended.
TEST_F(RunningTasks, InstanceThatNeverStartedAnswersAsEnded) {
    ASSERT_EQ(register_task(u"Off", task_xml(u"/bin/sleep", u"30", u"<Enabled>false</Enabled>")), S_OK);
    Ref<IRunningTask> running;
    ASSERT_EQ(run(u"Off", &running), S_OK);
    EXPECT_EQ(state_of(running.get()), TASK_STATE_UNKNOWN);
    EXPECT_EQ(guid_of(running.get()).size(), 38u);
    EXPECT_EQ(running->Refresh(), not_running);
    EXPECT_EQ(running->Stop(), not_running);
}

}  // namespace
