// task_listing.cpp: list_tasks, over the collections of GetTasks and GetFolders.
#include "scheduler/task_listing.hpp"

#include "scheduler/call_failure.hpp"
#include "scheduler/collection_items.hpp"
#include "scheduler/registered_task_reading.hpp"
#include "scheduler/to_bstr.hpp"

namespace morvane::scheduler {
namespace {

Result<void, SchedulerError> list_folder(ITaskFolder& folder, ListingScope scope, std::vector<TaskRecord>& listed) {
    ComPtr<IRegisteredTaskCollection> tasks;
    HRESULT outcome = folder.GetTasks(scope.hidden ? TASK_ENUM_HIDDEN : 0, tasks.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetTasks")};
    if (!tasks) return Err{call_without_object("GetTasks")};
    Result<void, SchedulerError> walked =
        for_each_item<IRegisteredTask>(*tasks.get(), [&](IRegisteredTask& task) -> Result<void, SchedulerError> {
            Result<TaskRecord, SchedulerError> record = read_listed_task_record(task);
            MORVANE_RETURN_IF_FAILED(record);
            listed.push_back(std::move(record).value());
            return {};
        });
    if (!walked || !scope.recursive) return walked;
    tasks.reset();

    ComPtr<ITaskFolderCollection> subfolders;
    outcome = folder.GetFolders(0, subfolders.put());  // flags are reserved: 0
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetFolders")};
    if (!subfolders) return Err{call_without_object("GetFolders")};
    return for_each_item<ITaskFolder>(*subfolders.get(),
                                      [&](ITaskFolder& subfolder) { return list_folder(subfolder, scope, listed); });
}

}  // namespace

Result<std::vector<TaskRecord>, SchedulerError> list_tasks(SchedulerConnection& connection, std::string_view folder,
                                                          ListingScope scope) {
    std::vector<TaskRecord> listed;
    // The root folder is open with the connection; any other is opened from the service.
    ComPtr<ITaskFolder> opened;
    ITaskFolder* start = connection.root_folder();
    if (folder != "\\") {
        UniqueBstr path = to_bstr(folder);
        const HRESULT outcome = connection.service()->GetFolder(path.get(), opened.put());
        if (FAILED(outcome)) return Err{failed_call(outcome, "GetFolder")};
        if (!opened) return Err{call_without_object("GetFolder")};
        start = opened.get();
    }
    MORVANE_RETURN_IF_FAILED(list_folder(*start, scope, listed));
    return listed;
}

}  // namespace morvane::scheduler
