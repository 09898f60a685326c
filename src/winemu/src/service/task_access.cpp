// task_access.cpp: the rights each access asks, the descriptors the service gives what it makes, and
// the access check (AccessContext, which asks who calls, is access_context.cpp's).
#include "service/task_access.hpp"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "base/utf.hpp"

namespace winemu {
namespace {

constexpr std::uint32_t owner_information = 0x1;
constexpr std::uint32_t group_information = 0x2;
constexpr std::uint32_t dacl_information = 0x4;
constexpr std::uint32_t sacl_information = 0x8;
constexpr DWORD privilege_not_held = 1314;  // ERROR_PRIVILEGE_NOT_HELD

std::string kept_text(const SecurityDescriptor& descriptor) {
    return utf8_from_utf16(write_sddl(descriptor)).value_or(std::string());
}

}  // namespace

std::string default_task_security(const Caller& caller) { return kept_text(default_security(caller, false)); }

std::string default_folder_security(const Caller& caller) { return kept_text(default_security(caller, true)); }

// Administrators and SYSTEM may do anything; authenticated users may list the root, run what
// they may read in it, and add tasks and folders to it (each then theirs).
const std::string& root_folder_security() {
    static const std::string root = [] {
        SecurityDescriptor descriptor;
        descriptor.owner = administrators_sid;
        descriptor.group = local_system_sid;
        descriptor.control = se_dacl_present;
        const auto allowed = [](std::uint32_t mask, const char* sid) {
            Ace ace;
            ace.mask = mask;
            ace.sid = sid;
            return ace;
        };
        descriptor.dacl = std::vector<Ace>{
            allowed(file_all_access, administrators_sid),
            allowed(file_all_access, local_system_sid),
            allowed(file_generic_read | file_generic_execute | rights_for(Access::add_task) |
                        rights_for(Access::add_folder),
                    authenticated_users_sid),
        };
        return kept_text(descriptor);
    }();
    return root;
}

std::uint32_t rights_for(Access access) {
    switch (access) {
    case Access::read: return 0x0001;
    case Access::change: return 0x0002;
    case Access::add_task: return 0x0002;
    case Access::add_folder: return 0x0004;
    case Access::run: return 0x0020;
    case Access::remove: return delete_access;
    case Access::read_security: return read_control;
    case Access::change_security: return write_dac;
    }
    return file_all_access;
}

HRESULT check_access(const Caller& caller, std::string_view sddl, Access access) {
    // A few descriptors read last, per thread: a listing alternates between its folder's and its
    // tasks' (mostly one or two), and reads each once.
    struct Read {
        std::string text;
        std::optional<SecurityDescriptor> descriptor;  // none: the text cannot be read
    };
    constexpr std::size_t kept_reads = 4;
    thread_local std::vector<Read> reads;
    thread_local std::size_t next = 0;
    auto found = std::find_if(reads.begin(), reads.end(), [&](const Read& read) { return read.text == sddl; });
    if (found == reads.end()) {
        auto descriptor = read_sddl(utf16_from_utf8_lossy(sddl));
        Read read{std::string(sddl), descriptor.ok() ? std::optional(std::move(descriptor.value())) : std::nullopt};
        if (reads.size() < kept_reads) {
            found = reads.insert(reads.end(), std::move(read));
        } else {
            found = reads.begin() + static_cast<std::ptrdiff_t>(next);
            *found = std::move(read);
            next = (next + 1) % kept_reads;
        }
    }
    if (!found->descriptor) return E_ACCESSDENIED;
    return access_granted(*found->descriptor, caller, rights_for(access)) ? S_OK : E_ACCESSDENIED;
}

HResultOr<std::string> kept_form(std::u16string_view sddl) {
    auto descriptor = read_sddl(sddl);
    if (!descriptor.ok()) return HResultOr<std::string>::failure(descriptor.error());
    return kept_text(descriptor.value());
}

HResultOr<std::u16string> descriptor_parts(std::string_view kept, std::uint32_t information) {
    if (information & sacl_information)
        return HResultOr<std::u16string>::failure(HRESULT_FROM_WIN32(privilege_not_held));
    auto descriptor = read_sddl(utf16_from_utf8_lossy(kept));
    if (!descriptor.ok()) return HResultOr<std::u16string>::failure(SCHED_E_INVALID_TASK_HASH);
    SecurityDescriptor parts = std::move(descriptor.value());
    if (!(information & owner_information)) parts.owner.clear();
    if (!(information & group_information)) parts.group.clear();
    if (!(information & dacl_information)) {
        parts.dacl.reset();
        parts.control &= static_cast<std::uint16_t>(~(se_dacl_present | se_dacl_protected | se_dacl_auto_inherited |
                                                      se_dacl_auto_inherit_req));
    }
    parts.sacl.reset();
    return write_sddl(parts);
}

}  // namespace winemu
