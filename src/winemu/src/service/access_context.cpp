// access_context.cpp: AccessContext, the caller of a service object and the descriptors that
// stand for those not kept.
#include "service/task_access.hpp"

namespace winemu {

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
    if (unkept_task_.empty()) unkept_task_ = default_task_security(connection_caller(FollowedLibrary()));
    return unkept_task_;
}

std::string_view AccessContext::folder_sddl(std::string_view kept, bool root) {
    if (!kept.empty()) return kept;
    if (root) {
        if (root_.empty()) root_ = root_folder_security();
        return root_;
    }
    if (unkept_folder_.empty()) unkept_folder_ = default_folder_security(connection_caller(FollowedLibrary()));
    return unkept_folder_;
}

}  // namespace winemu
