// task_folder.cpp: a folder of the task library: GetTask, DeleteTask, RegisterTask, GetFolder.
#include "task_folder.hpp"

#include "bstr_text.hpp"
#include "com_guard.hpp"
#include "dispatch_object.hpp"
#include "error_objects.hpp"
#include "guid_text.hpp"
#include "registered_task.hpp"
#include "service_call.hpp"
#include "system_messages.hpp"
#include "task_readback.hpp"
#include "task_store.hpp"
#include "task_xml.hpp"

namespace winemu {
namespace {

constexpr DWORD rpc_null_reference = 1780;  // RPC_X_NULL_REF_POINTER
constexpr LONG supported_creation_flags = TASK_VALIDATE_ONLY | TASK_CREATE | TASK_UPDATE | TASK_DISABLE |
                                          TASK_DONT_ADD_PRINCIPAL_ACE | TASK_IGNORE_REGISTRATION_TRIGGERS;

// A task path: a name that resolves to the root (or no name at all) names no task.
HResultOr<PathElements> task_path(std::u16string_view name, const PathElements& base) {
    if (name.empty()) return HResultOr<PathElements>::failure(E_INVALIDARG);
    auto path = resolve_task_path(name, base);
    if (path.ok() && path.value().empty()) return HResultOr<PathElements>::failure(E_INVALIDARG);
    return path;
}

// Without TASK_CREATE or TASK_UPDATE, Windows creates (and refuses an existing task).
// TASK_VALIDATE_ONLY goes with neither of them.
std::optional<WriteMode> write_mode(LONG flags) {
    if (flags & ~supported_creation_flags) return std::nullopt;
    const bool create = flags & TASK_CREATE;
    const bool update = flags & TASK_UPDATE;
    if ((flags & TASK_VALIDATE_ONLY) && (create || update)) return std::nullopt;
    if (create && update) return WriteMode::create_or_update;
    if (update) return WriteMode::update;
    return WriteMode::create;
}

class TaskFolder final : public DispatchObject<ITaskFolder, IID_ITaskFolder> {
public:
    TaskFolder(std::string library, PathElements folder, std::u16string display)
        : library_(std::move(library)), folder_(std::move(folder)), display_(std::move(display)) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) override {
        if (folder_.empty()) return hand_out_bstr(display_, pName);
        return hand_out_bstr(std::u16string_view(display_).substr(display_.find_last_of(u'\\') + 1), pName);
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) override { return hand_out_bstr(display_, pPath); }

    HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** ppFolder) override {
        if (const auto early = enter_service_call("GetFolder", ppFolder)) return *early;
        // Unlike the service's GetFolder, a folder wants a path, and '\\' alone names nothing.
        if (!path) return E_INVALIDARG;
        if (bstr_view(path) == u"\\") return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
        return open_task_folder(library_, folder_, bstr_view(path), ppFolder);
    }

    HRESULT STDMETHODCALLTYPE GetTask(BSTR path, IRegisteredTask** ppTask) override {
        if (const auto early = enter_service_call("GetTask", ppTask)) return *early;
        return guarded([&] {
            auto task = task_path(bstr_view(path), folder_);
            if (!task.ok()) return task.error();
            auto loaded = load_checked_task(library_, task.value());
            if (!loaded.ok()) return loaded.error();
            CheckedTask& checked = loaded.value();
            return create_registered_task(library_, std::move(task.value()), std::move(checked.stored),
                                          checked.definition.enabled, ppTask);
        });
    }

    HRESULT STDMETHODCALLTYPE DeleteTask(BSTR name, LONG) override {
        if (const auto early = enter_service_call("DeleteTask")) return *early;
        return guarded([&] {
            auto task = task_path(bstr_view(name), folder_);
            if (!task.ok()) return task.error();
            return remove_task(library_, task.value());
        });
    }

    HRESULT STDMETHODCALLTYPE RegisterTask(BSTR path, BSTR xmlText, LONG flags, VARIANT, VARIANT, TASK_LOGON_TYPE,
                                           VARIANT, IRegisteredTask** ppTask) override {
        // A null out pointer is allowed: the task is registered and nothing is handed back.
        if (const auto early = enter_service_call("RegisterTask", ppTask, false)) return *early;
        return guarded([&] { return register_task(bstr_view(path), xmlText, flags, ppTask); });
    }

    HRESULT STDMETHODCALLTYPE GetFolders(LONG, ITaskFolderCollection** ppFolders) override {
        if (ppFolders) *ppFolders = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateFolder(BSTR, VARIANT, ITaskFolder** ppFolder) override {
        if (ppFolder) *ppFolder = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTasks(LONG, IRegisteredTaskCollection** ppTasks) override {
        if (ppTasks) *ppTasks = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR, ITaskDefinition*, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE,
                                                     VARIANT, IRegisteredTask** ppTask) override {
        if (ppTask) *ppTask = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR* pSddl) override {
        if (pSddl) *pSddl = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }

private:
    HRESULT register_task(std::u16string_view name, BSTR xml_text, LONG flags, IRegisteredTask** out) {
        const auto mode = write_mode(flags);
        if (!mode) return E_INVALIDARG;
        if (!xml_text) return HRESULT_FROM_WIN32(rpc_null_reference);
        // Without a name the service makes one up; only the root folder accepts that.
        if (name.empty() && !folder_.empty()) return E_INVALIDARG;
        auto task = name.empty() ? resolve_task_path(u"\\" + new_guid_text(), {}) : task_path(name, folder_);
        if (!task.ok()) return task.error();

        auto parsed = parse_task_xml(bstr_view(xml_text), (flags & TASK_DISABLE) != 0);
        if (const auto* refusal = std::get_if<XmlRefusal>(&parsed)) {
            leave_restricted_error(refusal->code, system_message(static_cast<DWORD>(refusal->code)), refusal->detail);
            return refusal->code;
        }
        if (flags & TASK_VALIDATE_ONLY) return S_OK;
        TaskDefinition& definition = std::get<TaskDefinition>(parsed);
        auto stored = store_task(library_, task.value(), std::move(definition.xml), *mode);
        if (!stored.ok()) return stored.error();
        if (!out) return S_OK;
        return create_registered_task(library_, std::move(task.value()), std::move(stored.value()), definition.enabled,
                                      out);
    }

    const std::string library_;
    const PathElements folder_;
    const std::u16string display_;
};

}  // namespace

HRESULT open_task_folder(const std::string& library, const PathElements& base, std::u16string_view path,
                         ITaskFolder** out) {
    *out = nullptr;
    return guarded([&] {
        auto folder = path.empty() ? HResultOr<PathElements>(base) : resolve_task_path(path, base);
        if (!folder.ok()) return folder.error();
        auto display = find_folder(library, folder.value());
        if (!display.ok()) return display.error();
        *out = new TaskFolder(library, std::move(folder.value()), std::move(display.value()));
        return S_OK;
    });
}

}  // namespace winemu
