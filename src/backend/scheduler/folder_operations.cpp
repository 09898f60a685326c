// folder_operations.cpp: create_folder, delete_folder and list_folders.
//
// As in task_operations.cpp, the locals stand in the order of acquisition, so that every way out
// gives them back in reverse, each SchedulerError complete before.
#include "scheduler/folder_operations.hpp"

#include "scheduler/call_failure.hpp"
#include "scheduler/collection_items.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/to_bstr.hpp"
#include "scheduler/unique_bstr.hpp"
#include "scheduler/wide_text.hpp"

namespace morvane::scheduler {
namespace {

Result<std::string, SchedulerError> folder_path(ITaskFolder& folder) {
    UniqueBstr text;
    const HRESULT outcome = folder.get_Path(text.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "get_Path")};
    if (!text) return Err{call_without_object("get_Path")};
    return utf8_from_utf16(bstr_view(text.get()));
}

Result<void, SchedulerError> list_subfolders(ITaskFolder& folder, bool recursive, std::vector<std::string>& listed) {
    ComPtr<ITaskFolderCollection> subfolders;
    const HRESULT outcome = folder.GetFolders(0, subfolders.put());  // flags are reserved: 0
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetFolders")};
    if (!subfolders) return Err{call_without_object("GetFolders")};
    return for_each_item<ITaskFolder>(*subfolders.get(), [&](ITaskFolder& subfolder) -> Result<void, SchedulerError> {
        Result<std::string, SchedulerError> path = folder_path(subfolder);
        MORVANE_RETURN_IF_FAILED(path);
        listed.push_back(std::move(path).value());
        if (!recursive) return {};
        return list_subfolders(subfolder, recursive, listed);
    });
}

}  // namespace

Result<void, SchedulerError> create_folder(SchedulerConnection& connection, std::string_view path,
                                           std::optional<std::string_view> security) {
    UniqueBstr name = to_bstr(path);
    UniqueBstr sddl = security ? to_bstr(*security) : UniqueBstr();
    const VARIANT descriptor = borrowed_text_variant(sddl.get(), security.has_value());
    ComPtr<ITaskFolder> folder;
    const HRESULT outcome = connection.root_folder()->CreateFolder(name.get(), descriptor, folder.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "CreateFolder")};
    if (!folder) return Err{call_without_object("CreateFolder")};
    return {};
}

Result<void, SchedulerError> delete_folder(SchedulerConnection& connection, std::string_view path) {
    UniqueBstr name = to_bstr(path);
    const HRESULT outcome = connection.root_folder()->DeleteFolder(name.get(), 0);  // flags are reserved: 0
    if (FAILED(outcome)) return Err{failed_call(outcome, "DeleteFolder")};
    return {};
}

Result<std::vector<std::string>, SchedulerError> list_folders(SchedulerConnection& connection, std::string_view path,
                                                              bool recursive) {
    std::vector<std::string> listed;
    // A folder keeps the path it was opened with, and its subfolders read theirs from it: opened
    // from the root ("\Ops", not "Ops"), every path listed is one from the root.
    ComPtr<ITaskFolder> opened;
    ITaskFolder* start = connection.root_folder();
    if (path != "\\") {
        UniqueBstr from_root = to_bstr(path.starts_with('\\') ? std::string(path) : "\\" + std::string(path));
        const HRESULT outcome = connection.service()->GetFolder(from_root.get(), opened.put());
        if (FAILED(outcome)) return Err{failed_call(outcome, "GetFolder")};
        if (!opened) return Err{call_without_object("GetFolder")};
        start = opened.get();
    }
    MORVANE_RETURN_IF_FAILED(list_subfolders(*start, recursive, listed));
    return listed;
}

}  // namespace morvane::scheduler
