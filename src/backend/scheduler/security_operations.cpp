// security_operations.cpp: task_security, set_task_security, folder_security, set_folder_security.
//
// As in task_operations.cpp, the locals stand in the order of acquisition, so that every way out
// gives them back in reverse, each SchedulerError complete before.
#include "scheduler/security_operations.hpp"

#include "scheduler/call_failure.hpp"
#include "scheduler/com_ptr.hpp"
#include "scheduler/registered_task_reading.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/to_bstr.hpp"
#include "scheduler/unique_bstr.hpp"
#include "scheduler/wide_text.hpp"

namespace morvane::scheduler {
namespace {

// OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION: what a
// descriptor says of who may do what (the SACL, an auditing list, needs a privilege to read).
constexpr LONG descriptor_parts = 0x1 | 0x2 | 0x4;

// What Get/SetSecurityDescriptor are called on: a task or a folder.
template <class Object>
Result<std::string, SchedulerError> read_descriptor(Object& object) {
    UniqueBstr text;
    const HRESULT outcome = object.GetSecurityDescriptor(descriptor_parts, text.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetSecurityDescriptor")};
    if (!text) return Err{call_without_object("GetSecurityDescriptor")};
    return utf8_from_utf16(bstr_view(text.get()));
}

template <class Object>
Result<void, SchedulerError> write_descriptor(Object& object, std::string_view sddl) {
    UniqueBstr text = to_bstr(sddl);
    const HRESULT outcome = object.SetSecurityDescriptor(text.get(), 0);  // no flags: the ACEs as given
    if (FAILED(outcome)) return Err{failed_call(outcome, "SetSecurityDescriptor")};
    return {};
}

// The folder of a path from the root ("\" the root itself, "Ops" read as "\Ops").
Result<ComPtr<ITaskFolder>, SchedulerError> get_folder(SchedulerConnection& connection, std::string_view path) {
    UniqueBstr from_root = to_bstr(path.starts_with('\\') ? std::string(path) : "\\" + std::string(path));
    ComPtr<ITaskFolder> folder;
    const HRESULT outcome = connection.service()->GetFolder(from_root.get(), folder.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetFolder")};
    if (!folder) return Err{call_without_object("GetFolder")};
    return folder;
}

}  // namespace

Result<std::string, SchedulerError> task_security(SchedulerConnection& connection, std::string_view task_name) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    return read_descriptor(*task.value().get());
}

Result<void, SchedulerError> set_task_security(SchedulerConnection& connection, std::string_view task_name,
                                               std::string_view sddl) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    return write_descriptor(*task.value().get(), sddl);
}

Result<std::string, SchedulerError> folder_security(SchedulerConnection& connection, std::string_view path) {
    Result<ComPtr<ITaskFolder>, SchedulerError> folder = get_folder(connection, path);
    MORVANE_RETURN_IF_FAILED(folder);
    return read_descriptor(*folder.value().get());
}

Result<void, SchedulerError> set_folder_security(SchedulerConnection& connection, std::string_view path,
                                                 std::string_view sddl) {
    Result<ComPtr<ITaskFolder>, SchedulerError> folder = get_folder(connection, path);
    MORVANE_RETURN_IF_FAILED(folder);
    return write_descriptor(*folder.value().get(), sddl);
}

}  // namespace morvane::scheduler
