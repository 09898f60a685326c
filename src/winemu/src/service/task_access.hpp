// task_access.hpp: who may do what to a task or a folder: the rights each call asks of a
// descriptor, the descriptors the service gives what it makes, and the check itself.
#pragma once

/* === Rights and defaults ===
 * The service keeps tasks as files and folders as directories, and checks a caller against their
 * descriptors with the file rights: reading a task (GetTask, its definition, its state, its
 * instances) asks FILE_READ_DATA, which is FILE_LIST_DIRECTORY for a folder's listing; changing
 * it (registering over it, enabling, disabling) FILE_WRITE_DATA, which is FILE_ADD_FILE for a new
 * task in a folder; a new subfolder FILE_ADD_SUBDIRECTORY; running and stopping FILE_EXECUTE;
 * deleting DELETE; reading a descriptor READ_CONTROL and replacing it WRITE_DAC. An administrator
 * gets no pass: the DACL is checked for everyone, and the defaults grant Administrators.
 *
 * A new task's descriptor, when its registration names none, is owned by the registering account
 * (by Administrators for an elevated administrator, as Windows makes an administrator's objects)
 * and grants full access to Administrators, SYSTEM and the registering account. A new folder's is
 * the same, and lets authenticated users list it (what they see in it is what each task lets
 * them read). The root folder's lets authenticated users list it, run from it and add tasks and
 * folders to it. A task or folder kept without a descriptor (a library made before descriptors
 * were kept) has the default of the process's own account, which made it. */

#include <cstdint>
#include <string>
#include <string_view>

#include "accounts/caller.hpp"
#include "com/hresult_or.hpp"
#include "library/task_library.hpp"
#include "security/security_descriptor.hpp"

namespace winemu {

// What a call does to a task or a folder; each asks its rights of the descriptor (rights_for).
enum class Access {
    read,             // a task's definition, state and instances; a folder's listing
    change,           // a task registered over, enabled or disabled
    add_task,         // a new task in a folder
    add_folder,       // a new subfolder
    run,              // a task run or stopped
    remove,           // a task or a folder deleted
    read_security,    // GetSecurityDescriptor
    change_security,  // SetSecurityDescriptor
};

// The file rights each asks: FILE_READ_DATA (FILE_LIST_DIRECTORY), FILE_WRITE_DATA
// (FILE_ADD_FILE), FILE_ADD_SUBDIRECTORY, FILE_EXECUTE, DELETE, READ_CONTROL, WRITE_DAC.
std::uint32_t rights_for(Access access);

// The SDDL (UTF-8, as kept) of a new task's or folder's descriptor when none is named.
std::string default_task_security(const Caller& caller);
std::string default_folder_security(const Caller& caller);
// The root folder's, when the library keeps none (made once).
const std::string& root_folder_security();

// S_OK when the caller is granted every right `access` asks by the descriptor `sddl` (UTF-8),
// E_ACCESSDENIED otherwise. A descriptor that cannot be read (edited by hand) grants nothing to
// anyone. The last descriptor read is kept per thread: a listing's tasks mostly share one, and
// each is read once.
HRESULT check_access(const Caller& caller, std::string_view sddl, Access access);

// Who calls through a service object, checked against descriptors as they are kept: an empty
// one (a task or folder made before descriptors were kept) stands for the default the process's
// own account would have given it, the root's for root_folder_security().
class AccessContext {
public:
    explicit AccessContext(const FollowedLibrary& library) : caller_(connection_caller(library)) {}

    const Caller& caller() const noexcept { return caller_; }
    // A listing's tasks mostly share one descriptor: the last answer is kept.
    HRESULT check_task(std::string_view kept, Access access);
    HRESULT check_folder(std::string_view kept, bool root, Access access) {
        return check_access(caller_, folder_sddl(kept, root), access);
    }
    // The descriptor that stands for what is kept (a view of `kept` or of this object).
    std::string_view task_sddl(std::string_view kept);
    std::string_view folder_sddl(std::string_view kept, bool root);

private:
    Caller caller_;
    std::string unkept_task_;  // made when first needed
    std::string unkept_folder_;
    std::string last_task_;  // the last task descriptor checked, for last_access_
    Access last_access_ = Access::read;
    HRESULT last_answer_ = E_ACCESSDENIED;
    bool answered_ = false;
};

// A descriptor given to the service (RegisterTask's and CreateFolder's sddl, SetSecurityDescriptor)
// in the form kept: read and written again. The reader's code when it is malformed.
HResultOr<std::string> kept_form(std::u16string_view sddl);

// The parts of a descriptor (SDDL, UTF-8) that `information` selects (OWNER_, GROUP_ and
// DACL_SECURITY_INFORMATION; other bits select nothing), as GetSecurityDescriptor hands them out.
// SACL_SECURITY_INFORMATION asks for a privilege the service gives no caller:
// HRESULT_FROM_WIN32(ERROR_PRIVILEGE_NOT_HELD); SCHED_E_INVALID_TASK_HASH for a kept descriptor
// that cannot be read (edited by hand).
HResultOr<std::u16string> descriptor_parts(std::string_view kept, std::uint32_t information);

}  // namespace winemu
