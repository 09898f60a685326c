// task_service.cpp: the Task Scheduler service object (ITaskService): Connect and GetFolder.
#include "service/task_service.hpp"

#include <memory>
#include <mutex>

#include "com/bstr_text.hpp"
#include "com/class_registry.hpp"
#include "com/com_guard.hpp"
#include "control/platform_call.hpp"
#include "accounts/caller.hpp"
#include "service/connection_target.hpp"
#include "service/running_tasks_listing.hpp"
#include "service/service_call.hpp"
#include "service/service_object.hpp"
#include "service/task_folder.hpp"
#include "library/task_library.hpp"
#include "base/text_units.hpp"
#include "base/utf.hpp"

namespace winemu {
namespace {

constexpr DWORD task_scheduler_version = 0x00010006;  // 1.6, as Windows 10 reports

class TaskService final : public ServiceObject<ITaskService, IID_ITaskService> {
public:
    HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** ppFolder) override {
        ServiceCall call("GetFolder", *this);
        call.text("path", path);
        return call.hand_out("folder", ppFolder, [&] {
            const auto library = connected_library();
            if (!library) return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
            return open_service_folder(*library, bstr_view(path), ppFolder);
        });
    }

    HRESULT STDMETHODCALLTYPE Connect(VARIANT serverName, VARIANT user, VARIANT domain, VARIANT password) override {
        ServiceCall call("Connect", *this);
        call.variant("server", serverName);
        call.variant("user", user);
        call.variant("domain", domain);
        call.secret("password", password);
        return call.ask([&] { return connect(serverName, user, domain, password); });
    }

    // After a disconnection (or once the computer connected to left the network) the object
    // answers as a connection that was lost: not connected.
    HRESULT STDMETHODCALLTYPE get_Connected(VARIANT_BOOL* pConnected) override {
        ServiceCall call("get_Connected", *this);
        if (const auto refused = call.PlatformCall::refusal()) return call.returns(*refused);
        if (const auto fault = enter_call("get_Connected", SuccessFault::does_the_work)) return call.returns(*fault);
        if (!pConnected) return call.returns(E_POINTER);
        *pConnected = connected_library() && !disconnection() ? VARIANT_TRUE : VARIANT_FALSE;
        return call.returns(S_OK);
    }
    // Each computer serves as its own domain, as one outside any domain does: an account logged
    // on to another computer is that computer's; the caller's own token is the caller's account.
    HRESULT STDMETHODCALLTYPE get_TargetServer(BSTR* pServer) override {
        return connection_text("get_TargetServer", pServer, [](const FollowedLibrary& library) {
            return library.computer() ? library.computer()->name() : this_computer_name();
        });
    }
    HRESULT STDMETHODCALLTYPE get_ConnectedDomain(BSTR* pDomain) override {
        return connection_text("get_ConnectedDomain", pDomain, [](const FollowedLibrary& library) {
            if (library.computer() && library.account()) return library.computer()->name();
            return connection_caller(library).domain;
        });
    }
    HRESULT STDMETHODCALLTYPE get_ConnectedUser(BSTR* pUser) override {
        return connection_text("get_ConnectedUser", pUser, [](const FollowedLibrary& library) {
            return library.account() ? *library.account() : connection_caller(library).name;
        });
    }
    HRESULT STDMETHODCALLTYPE get_HighestVersion(DWORD* pVersion) override {
        ServiceCall call("get_HighestVersion", *this);
        return call.answer_locally([&] {
            *pVersion = task_scheduler_version;
            return S_OK;
        }, pVersion);
    }
    // The live instances of every task; hidden tasks' only with TASK_ENUM_HIDDEN, and any other
    // flag refused, as GetTasks takes its flags.
    HRESULT STDMETHODCALLTYPE GetRunningTasks(LONG flags, IRunningTaskCollection** ppRunningTasks) override {
        ServiceCall call("GetRunningTasks", *this);
        call.flags("flags", static_cast<ULONG>(flags));
        return call.hand_out("instances", ppRunningTasks, [&] {
            const auto library = connected_library();
            if (!library) return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
            if (flags & ~TASK_ENUM_HIDDEN) return E_INVALIDARG;
            return list_running_tasks(*library, (flags & TASK_ENUM_HIDDEN) != 0, ppRunningTasks);
        });
    }
    HRESULT STDMETHODCALLTYPE NewTask(DWORD, ITaskDefinition** ppDefinition) override {
        if (ppDefinition) *ppDefinition = nullptr;
        return E_NOTIMPL;
    }

    // What ServiceCall asks of every service object: a connection lost with the computer it
    // reached answers as one whose server ended; calls wait that computer's latency.
    std::optional<HRESULT> disconnection() const noexcept {
        if (const auto ended = ServiceObject::disconnection()) return ended;
        const std::lock_guard guard(lock_);
        return unreachable(library_ ? library_->computer().get() : nullptr);
    }
    std::shared_ptr<const Computer> computer() const noexcept {
        const std::lock_guard guard(lock_);
        return library_ ? library_->computer() : nullptr;
    }

private:
    // A refused Connect leaves an earlier connection as it was, as on Windows.
    HRESULT connect(const VARIANT& server, const VARIANT& user, const VARIANT& domain, const VARIANT& password) {
        HResultOr<ConnectionTarget> target = connection_target(server, user, domain, password);
        if (!target.ok()) return target.error();
        ConnectionTarget& reached = target.value();
        FollowedLibrary library = reached.computer
                                      ? FollowedLibrary(std::move(reached.computer), std::move(reached.account))
                                      : FollowedLibrary(std::move(reached.account));
        const std::lock_guard guard(lock_);
        library_ = std::move(library);
        return S_OK;
    }

    // Hands out a text about the connection (UTF-8 from `text(library)`); none before Connect.
    template <typename Text>
    HRESULT connection_text(const char* name, BSTR* out, Text text) {
        ServiceCall call(name, *this);
        if (out) *out = nullptr;
        return call.answer_locally([&] {
            const auto library = connected_library();
            if (!library) return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
            return hand_out_bstr(utf16_from_utf8_lossy(text(*library)), out);
        }, out);
    }

    std::optional<FollowedLibrary> connected_library() {
        const std::lock_guard guard(lock_);
        return library_;
    }

    mutable std::mutex lock_;
    std::optional<FollowedLibrary> library_;  // the library connected to; none until Connect
};

}  // namespace

HRESULT create_task_service(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return guarded([&] { return (new TaskService)->hand_out(riid, ppv); });
}

namespace {

// CoCreateInstance finds the service by its class: registered while winemu loads.
const bool task_service_registered =
    (register_class({.id = CLSID_TaskScheduler, .name = "TaskScheduler", .create = create_task_service}), true);

}  // namespace

}  // namespace winemu
