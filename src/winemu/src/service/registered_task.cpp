// registered_task.cpp: a registered task: its name, path, definition, and running it (RunEx).
#include "service/registered_task.hpp"

#include "com/bstr_text.hpp"
#include "com/com_guard.hpp"
#include "com/dispatch_object.hpp"
#include "control/platform_call.hpp"
#include "service/running_task.hpp"
#include "service/service_call.hpp"
#include "library/task_readback.hpp"
#include "launch/run_results.hpp"
#include "launch/task_run.hpp"
#include "library/run_settings.hpp"
#include "com/utf.hpp"

namespace winemu {
namespace {


class RegisteredTask final : public DispatchObject<IRegisteredTask, IID_IRegisteredTask> {
public:
    RegisteredTask(std::string library, PathElements path, StoredTask task, bool enabled)
        : library_(std::move(library)), path_(std::move(path)), task_(std::move(task)), enabled_(enabled) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) override {
        const std::size_t last = task_.path.find_last_of(u'\\');
        return hand_out_bstr(std::u16string_view(task_.path).substr(last + 1), pName);
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) override { return hand_out_bstr(task_.path, pPath); }
    HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* pState) override {
        if (!pState) return E_POINTER;
        *pState = enabled_ ? TASK_STATE_READY : TASK_STATE_DISABLED;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pEnabled) override {
        if (!pEnabled) return E_POINTER;
        *pEnabled = enabled_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Run(VARIANT parameters, IRunningTask** ppRunningTask) override {
        PlatformCall call("Run", identity(), ErrorInfoUse::discards);
        call.variant("parameters", parameters);
        return hand_out_from_service(call, "Run", "running", ppRunningTask,
                                     [&] { return guarded([&] { return run(ppRunningTask, RunMethod::run); }); });
    }
    HRESULT STDMETHODCALLTYPE RunEx(VARIANT parameters, LONG flags, LONG sessionID, BSTR user,
                                    IRunningTask** ppRunningTask) override {
        PlatformCall call("RunEx", identity(), ErrorInfoUse::discards);
        call.variant("parameters", parameters);
        call.flags("flags", static_cast<ULONG>(flags));
        call.number("session", sessionID);
        call.text("user", user);
        // A fault of S_OK: success without an instance.
        return hand_out_from_service(call, "RunEx", "running", ppRunningTask,
                                     [&] { return guarded([&] { return run(ppRunningTask, RunMethod::run_ex); }); });
    }
    HRESULT STDMETHODCALLTYPE GetInstances(LONG, IRunningTaskCollection** ppRunningTasks) override {
        if (ppRunningTasks) *ppRunningTasks = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_LastRunTime(DATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastTaskResult(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NumberOfMissedRuns(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NextRunTime(DATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition** ppDefinition) override {
        if (ppDefinition) *ppDefinition = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_Xml(BSTR* pXml) override {
        if (!pXml) return E_POINTER;
        *pXml = nullptr;
        return guarded([&] { return hand_out_bstr(utf16_from_utf8_lossy(task_.xml), pXml); });
    }
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR* pSddl) override {
        if (pSddl) *pSddl = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME, const LPSYSTEMTIME, DWORD*, LPSYSTEMTIME*) override {
        return E_NOTIMPL;
    }

private:
    enum class RunMethod { run, run_ex };

    // Starts the definition as it is now in the library (it may have been replaced or deleted
    // since this object was handed out), read back and checked once. As Microsoft documents
    // IRegisteredTask::Run and RunEx: a disabled task answers Run with SCHED_E_TASK_DISABLED and
    // RunEx with S_OK, starting nothing; AllowStartOnDemand false answers S_OK and starts nothing.
    HRESULT run(IRunningTask** out, RunMethod method) {
        auto current = load_checked_task(library_, path_);
        if (!current.ok()) return current.error();
        CheckedTask& task = current.value();
        RunningInstance instance{std::move(task.stored.path), {}, std::nullopt};
        if (!task.definition.enabled && method == RunMethod::run) return SCHED_E_TASK_DISABLED;
        const RunSettings settings = read_run_settings(task.stored.xml);
        if (task.definition.enabled && settings.allow_start_on_demand) {
            auto started = start_task_run(library_, path_, std::move(task.definition.exec_actions), settings);
            if (!started.ok()) return started.error();
            if (const auto& first = started.value()) {
                instance.pid = first->engine;
                instance.current_action = utf16_from_utf8_lossy(first->program);
            }
        }
        return create_running_task(std::move(instance), out);
    }

    const std::string library_;
    const PathElements path_;
    const StoredTask task_;
    const bool enabled_;  // Settings/Enabled as it was read
};

}  // namespace

HRESULT create_registered_task(std::string library, PathElements path, StoredTask task, bool enabled,
                               IRegisteredTask** out) {
    return guarded([&] {
        *out = new RegisteredTask(std::move(library), std::move(path), std::move(task), enabled);
        return S_OK;
    });
}

}  // namespace winemu
