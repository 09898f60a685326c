// task_service.cpp: the Task Scheduler service object (ITaskService): Connect and GetFolder.
#include "task_service.hpp"

#include <unistd.h>

#include <mutex>

#include "bstr_text.hpp"
#include "com_guard.hpp"
#include "dispatch_object.hpp"
#include "faults.hpp"
#include "latency.hpp"
#include "task_folder.hpp"
#include "task_library.hpp"
#include "utf.hpp"

namespace winemu {
namespace {

constexpr DWORD server_unavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE: no service on that server
constexpr DWORD task_scheduler_version = 0x00010006;  // 1.6, as Windows 10 reports

std::string host_name() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

bool equal_ignoring_case(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// An empty VARIANT, an empty text, or a name of this machine (optionally with a leading "\\").
bool names_this_machine(const VARIANT& server) {
    if (server.vt == VT_EMPTY || server.vt == VT_NULL) return true;
    if (server.vt != VT_BSTR) return false;
    std::u16string_view name = bstr_view(server.bstrVal);
    if (name.substr(0, 2) == u"\\\\") name.remove_prefix(2);
    if (name.empty() || name == u"." || equal_ignoring_case(name, u"localhost") || name == u"127.0.0.1") return true;
    return equal_ignoring_case(name, utf16_from_utf8_lossy(host_name()));
}

class TaskService final : public DispatchObject<ITaskService, IID_ITaskService> {
public:
    HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** ppFolder) override {
        if (ppFolder) *ppFolder = nullptr;
        if (const auto fault = enter_call("GetFolder")) return *fault;
        apply_service_latency();
        if (!ppFolder) return E_POINTER;
        return guarded([&] {
            const auto library = connected_library();
            if (!library) return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
            return open_task_folder(*library, {}, bstr_view(path), ppFolder);
        });
    }

    HRESULT STDMETHODCALLTYPE Connect(VARIANT serverName, VARIANT, VARIANT, VARIANT) override {
        // A fault of "success" has no object to withhold here: the connection is made as usual.
        if (const auto fault = enter_call("Connect"); fault && *fault != S_OK) return *fault;
        apply_service_latency();
        return guarded([&] {
            if (!names_this_machine(serverName))
                return serverName.vt == VT_BSTR ? HRESULT_FROM_WIN32(server_unavailable) : E_INVALIDARG;
            std::string library = task_library();
            const std::lock_guard guard(lock_);
            library_ = std::move(library);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_Connected(VARIANT_BOOL* pConnected) override {
        if (!pConnected) return E_POINTER;
        const std::lock_guard guard(lock_);
        *pConnected = library_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_TargetServer(BSTR* pServer) override {
        if (!pServer) return E_POINTER;
        *pServer = nullptr;
        return guarded([&] {
            if (!connected_library()) return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
            return hand_out_bstr(utf16_from_utf8_lossy(host_name()), pServer);
        });
    }
    HRESULT STDMETHODCALLTYPE get_ConnectedUser(BSTR* pUser) override {
        if (!pUser) return E_POINTER;
        *pUser = nullptr;
        return guarded([&] {
            if (!connected_library()) return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
            const char* user = getenv("USER");
            return hand_out_bstr(utf16_from_utf8_lossy(user ? user : ""), pUser);
        });
    }
    HRESULT STDMETHODCALLTYPE get_ConnectedDomain(BSTR* pDomain) override {
        if (!pDomain) return E_POINTER;
        *pDomain = nullptr;
        return guarded([&] {
            if (!connected_library()) return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
            return hand_out_bstr(utf16_from_utf8_lossy(host_name()), pDomain);
        });
    }
    HRESULT STDMETHODCALLTYPE get_HighestVersion(DWORD* pVersion) override {
        if (!pVersion) return E_POINTER;
        *pVersion = task_scheduler_version;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRunningTasks(LONG, IRunningTaskCollection** ppRunningTasks) override {
        if (ppRunningTasks) *ppRunningTasks = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE NewTask(DWORD, ITaskDefinition** ppDefinition) override {
        if (ppDefinition) *ppDefinition = nullptr;
        return E_NOTIMPL;
    }

private:
    std::optional<std::string> connected_library() {
        const std::lock_guard guard(lock_);
        return library_;
    }

    std::mutex lock_;
    std::optional<std::string> library_;  // the library connected to; none until Connect
};

}  // namespace

HRESULT create_task_service(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return guarded([&] { return (new TaskService)->hand_out(riid, ppv); });
}

}  // namespace winemu
