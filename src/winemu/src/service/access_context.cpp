// access_context.cpp: AccessContext, the caller of a service object and the descriptors that
// stand for those not kept.
#include "service/task_access.hpp"

namespace winemu {
namespace {

// The defaults of the process's own account, made once per thread while that account stays the
// same: a listing asks for them in every folder.
struct ProcessDefaults {
    std::string sid;
    bool administrator = false;
    std::string task;
    std::string folder;
};

const ProcessDefaults& process_defaults() {
    thread_local ProcessDefaults defaults;
    const Caller process = connection_caller(FollowedLibrary());
    if (defaults.task.empty() || defaults.sid != process.sid || defaults.administrator != process.administrator)
        defaults = {process.sid, process.administrator, default_task_security(process),
                    default_folder_security(process)};
    return defaults;
}

}  // namespace

HRESULT AccessContext::check_task(std::string_view kept, Access access) {
    if (answered_ && access == last_access_ && kept == last_task_) return last_answer_;
    last_answer_ = check_access(caller_, task_sddl(kept), access);
    last_task_.assign(kept);
    last_access_ = access;
    answered_ = true;
    return last_answer_;
}

std::string_view AccessContext::task_sddl(std::string_view kept) {
    if (!kept.empty()) return kept;
    if (unkept_task_.empty()) unkept_task_ = process_defaults().task;
    return unkept_task_;
}

std::string_view AccessContext::folder_sddl(std::string_view kept, bool root) {
    if (!kept.empty()) return kept;
    if (root) return root_folder_security();
    if (unkept_folder_.empty()) unkept_folder_ = process_defaults().folder;
    return unkept_folder_;
}

}  // namespace winemu
