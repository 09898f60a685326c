// task_reading_answers.cpp: the fidelity operations that list tasks and read, change and stop one.
#include "task_reading_answers.hpp"

#include <algorithm>
#include <vector>

#include "scheduler/platform_error.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/to_bstr.hpp"

namespace fidelity {
namespace {

namespace client = morvane::scheduler;

// A call's code as the answers show it: "ok" for S_OK, else its hex form; a failure's error
// object is dropped, as the client drops what it does not report.
std::string code(HRESULT hr) {
    if (hr == S_OK) return "ok";
    if (FAILED(hr)) client::drop_secondary_failure(hr);
    return client::format_hresult(hr);
}

std::string text_of(BSTR text) {
    std::string out;
    for (UINT i = 0; text && i < SysStringLen(text); ++i) out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

template <typename Interface>
struct Owned {
    Interface* raw = nullptr;
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() {
        if (raw) raw->Release();
    }
};

VARIANT position(long value) {
    VARIANT index{};
    index.vt = VT_I4;
    index.lVal = value;
    return index;
}

template <typename Collection, typename Item>
std::string sorted_paths(Collection* collection) {
    LONG count = 0;
    if (const HRESULT hr = collection->get_Count(&count); hr != S_OK) return "get_Count " + code(hr);
    std::vector<std::string> paths;
    for (LONG i = 1; i <= count; ++i) {
        Owned<Item> item;
        if (const HRESULT hr = collection->get_Item(position(i), &item.raw); hr != S_OK) return "get_Item " + code(hr);
        BSTR path = nullptr;
        item.raw->get_Path(&path);
        paths.push_back(text_of(path));
        SysFreeString(path);
    }
    std::ranges::sort(paths);
    std::string out = "count " + std::to_string(count);
    for (const auto& path : paths) out += " " + path;
    return out;
}

std::string list(ITaskFolder* root, const Case& c) {
    Owned<ITaskFolder> folder;
    const client::UniqueBstr name = client::to_bstr(c.name);
    if (const HRESULT hr = root->GetFolder(name.get(), &folder.raw); hr != S_OK) return "GetFolder " + code(hr);
    if (c.operation == "get_Item") {
        Owned<IRegisteredTaskCollection> tasks;
        if (const HRESULT hr = folder.raw->GetTasks(0, &tasks.raw); hr != S_OK) return "GetTasks " + code(hr);
        Owned<IRegisteredTask> task;
        return "get_Item " + code(tasks.raw->get_Item(position(c.flags), &task.raw));
    }
    if (c.operation == "GetTasks") {
        Owned<IRegisteredTaskCollection> tasks;
        if (const HRESULT hr = folder.raw->GetTasks(c.flags, &tasks.raw); hr != S_OK) return "GetTasks " + code(hr);
        return sorted_paths<IRegisteredTaskCollection, IRegisteredTask>(tasks.raw);
    }
    Owned<ITaskFolderCollection> folders;
    if (const HRESULT hr = folder.raw->GetFolders(c.flags, &folders.raw); hr != S_OK) return "GetFolders " + code(hr);
    return sorted_paths<ITaskFolderCollection, ITaskFolder>(folders.raw);
}

// Each call made before its value is read (the operands of + are evaluated in no set order).
std::string properties(IRegisteredTask* task) {
    TASK_STATE state = TASK_STATE_UNKNOWN;
    VARIANT_BOOL enabled = 0;
    DATE last_run = -1;
    LONG result = -1;
    LONG missed = -1;
    DATE next = -1;
    const std::string state_code = code(task->get_State(&state));
    const std::string enabled_code = code(task->get_Enabled(&enabled));
    const std::string last_run_code = code(task->get_LastRunTime(&last_run));
    const std::string result_code = code(task->get_LastTaskResult(&result));
    const std::string missed_code = code(task->get_NumberOfMissedRuns(&missed));
    const std::string next_code = code(task->get_NextRunTime(&next));
    return "State " + state_code + ":" + std::to_string(state) + " Enabled " + enabled_code + ":" +
           std::to_string(enabled) + " LastRunTime " + last_run_code + (last_run == 0 ? ":0" : ":set") +
           " LastTaskResult " + result_code + ":" + client::format_hresult(result) + " NumberOfMissedRuns " +
           missed_code + ":" + std::to_string(missed) + " NextRunTime " + next_code + (next == 0 ? ":0" : ":set");
}

std::string run_times(IRegisteredTask* task, const Case& c) {
    SYSTEMTIME start{2026, 1, 4, 1, 0, 0, 0, 0};
    SYSTEMTIME end{2026, 12, 4, 31, 23, 59, 59, 0};
    DWORD count = static_cast<DWORD>(c.flags);
    SYSTEMTIME* times = nullptr;
    const HRESULT hr = task->GetRunTimes(&start, &end, &count, &times);
    CoTaskMemFree(times);
    const std::string answer = "GetRunTimes " + code(hr);
    return answer + " count " + std::to_string(count);
}

std::string on_task(ITaskFolder* root, const Case& c) {
    Owned<IRegisteredTask> task;
    const client::UniqueBstr name = client::to_bstr(c.name);
    if (const HRESULT hr = root->GetTask(name.get(), &task.raw); hr != S_OK) return "GetTask " + code(hr);
    if (c.operation == "properties") return properties(task.raw);
    if (c.operation == "GetRunTimes") return run_times(task.raw, c);
    if (c.operation == "Stop") return "Stop " + code(task.raw->Stop(c.flags));
    const std::string changed = "put_Enabled " + code(task.raw->put_Enabled(c.flags ? VARIANT_TRUE : VARIANT_FALSE));
    TASK_STATE state = TASK_STATE_UNKNOWN;
    const std::string state_code = code(task.raw->get_State(&state));
    return changed + " State " + state_code + ":" + std::to_string(state);
}

}  // namespace

std::optional<std::string> answer_task_reading(const Case& c) {
    static const std::vector<std::string> listing{"GetTasks", "GetFolders", "get_Item"};
    static const std::vector<std::string> task_calls{"properties", "put_Enabled", "Stop", "GetRunTimes"};
    const bool lists = std::ranges::find(listing, c.operation) != listing.end();
    const bool on_a_task = std::ranges::find(task_calls, c.operation) != task_calls.end();
    if (!lists && !on_a_task) return std::nullopt;
    auto connection = client::SchedulerConnection::open();
    if (!connection.ok())
        return std::string(connection.error().operation) + " " + client::format_hresult(connection.error().code);
    ITaskFolder* root = connection.value().root_folder();
    return lists ? list(root, c) : on_task(root, c);
}

}  // namespace fidelity
