// task_service.cpp: the Task Scheduler service object (ITaskService): Connect and GetFolder.
#include "service/task_service.hpp"

#include <unistd.h>

#include <mutex>

#include "com/bstr_text.hpp"
#include "com/class_registry.hpp"
#include "com/com_guard.hpp"
#include "control/platform_call.hpp"
#include "control/service_environment.hpp"
#include "service/running_tasks_listing.hpp"
#include "service/service_call.hpp"
#include "service/service_object.hpp"
#include "service/task_folder.hpp"
#include "library/task_library.hpp"
#include "base/text_units.hpp"
#include "base/utf.hpp"

namespace winemu {
namespace {

constexpr DWORD server_unavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE: no service on that server
constexpr DWORD task_scheduler_version = 0x00010006;  // 1.6, as Windows 10 reports

std::string host_name() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

// An empty VARIANT, an empty text, or a name of this machine (optionally with a leading "\\").
bool names_this_machine(const VARIANT& server) {
    if (server.vt == VT_EMPTY || server.vt == VT_NULL) return true;
    if (server.vt != VT_BSTR) return false;
    std::u16string_view name = bstr_view(server.bstrVal);
    if (name.substr(0, 2) == u"\\\\") name.remove_prefix(2);
    if (name.empty() || name == u"." || equal_ignoring_ascii_case(name, u"localhost") || name == u"127.0.0.1") return true;
    return equal_ignoring_ascii_case(name, utf16_from_utf8_lossy(host_name()));
}

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
        return call.ask([&] { return connect(serverName); });
    }

    // After a disconnection the object answers as a connection that was lost: not connected.
    HRESULT STDMETHODCALLTYPE get_Connected(VARIANT_BOOL* pConnected) override {
        ServiceCall call("get_Connected", *this);
        if (const auto refused = call.PlatformCall::refusal()) return call.returns(*refused);
        if (const auto fault = enter_call("get_Connected", SuccessFault::does_the_work)) return call.returns(*fault);
        if (!pConnected) return call.returns(E_POINTER);
        *pConnected = connected_library() && !disconnection() ? VARIANT_TRUE : VARIANT_FALSE;
        return call.returns(S_OK);
    }
    // The local machine serves as its own domain, as on a computer outside any domain.
    HRESULT STDMETHODCALLTYPE get_TargetServer(BSTR* pServer) override {
        return connection_text("get_TargetServer", pServer, host_name);
    }
    HRESULT STDMETHODCALLTYPE get_ConnectedDomain(BSTR* pDomain) override {
        return connection_text("get_ConnectedDomain", pDomain, host_name);
    }
    HRESULT STDMETHODCALLTYPE get_ConnectedUser(BSTR* pUser) override {
        return connection_text("get_ConnectedUser", pUser, [] {
            return std::string(service_environment()->value("USER").value_or(""));
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

private:
    HRESULT connect(const VARIANT& serverName) {
        if (!names_this_machine(serverName))
            return serverName.vt == VT_BSTR ? HRESULT_FROM_WIN32(server_unavailable) : E_INVALIDARG;
        FollowedLibrary library;
        const std::lock_guard guard(lock_);
        library_ = std::move(library);
        return S_OK;
    }

    // Hands out a text about the connection (UTF-8 from `text()`); none before Connect.
    template <typename Text>
    HRESULT connection_text(const char* name, BSTR* out, Text text) {
        ServiceCall call(name, *this);
        if (out) *out = nullptr;
        return call.answer_locally([&] {
            if (!connected_library()) return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
            return hand_out_bstr(utf16_from_utf8_lossy(text()), out);
        }, out);
    }

    std::optional<FollowedLibrary> connected_library() {
        const std::lock_guard guard(lock_);
        return library_;
    }

    std::mutex lock_;
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
