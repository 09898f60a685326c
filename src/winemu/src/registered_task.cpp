// registered_task.cpp: a registered task: its name, path, definition, and running it (RunEx).
#include "registered_task.hpp"

#include "bstr_text.hpp"
#include "com_guard.hpp"
#include "dispatch_object.hpp"
#include "platform_call.hpp"
#include "run_records.hpp"
#include "running_task.hpp"
#include "service_call.hpp"
#include "task_launch.hpp"
#include "task_store.hpp"
#include "task_xml.hpp"
#include "utf.hpp"

namespace winemu {
namespace {

class RegisteredTask final : public DispatchObject<IRegisteredTask, IID_IRegisteredTask> {
public:
    RegisteredTask(std::string library, PathElements path, StoredTask task)
        : library_(std::move(library)), path_(std::move(path)), task_(std::move(task)) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) override {
        const std::size_t last = task_.path.find_last_of(u'\\');
        return hand_out_bstr(std::u16string_view(task_.path).substr(last + 1), pName);
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) override { return hand_out_bstr(task_.path, pPath); }
    HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* pState) override {
        if (!pState) return E_POINTER;
        *pState = TASK_STATE_UNKNOWN;
        return guarded([&] {
            *pState = enabled() ? TASK_STATE_READY : TASK_STATE_DISABLED;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pEnabled) override {
        if (!pEnabled) return E_POINTER;
        *pEnabled = VARIANT_FALSE;
        return guarded([&] {
            *pEnabled = enabled() ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Run(VARIANT parameters, IRunningTask** ppRunningTask) override {
        PlatformCall call("Run", identity(), ErrorInfoUse::discards);
        call.variant("parameters", parameters);
        const HRESULT result = [&] {
            if (const auto refused = refusal(call, ppRunningTask)) return *refused;
            if (const auto early = enter_service_call("Run", ppRunningTask)) return *early;
            return guarded([&] { return run(ppRunningTask); });
        }();
        call.object("running", ppRunningTask ? *ppRunningTask : nullptr);
        return call.returns(result);
    }
    HRESULT STDMETHODCALLTYPE RunEx(VARIANT parameters, LONG flags, LONG sessionID, BSTR user,
                                    IRunningTask** ppRunningTask) override {
        PlatformCall call("RunEx", identity(), ErrorInfoUse::discards);
        call.variant("parameters", parameters);
        call.flags("flags", static_cast<ULONG>(flags));
        call.number("session", sessionID);
        call.text("user", user);
        const HRESULT result = [&] {
            if (const auto refused = refusal(call, ppRunningTask)) return *refused;
            // A fault of S_OK: success without an instance.
            if (const auto early = enter_service_call("RunEx", ppRunningTask)) return *early;
            return guarded([&] { return run(ppRunningTask); });
        }();
        call.object("running", ppRunningTask ? *ppRunningTask : nullptr);
        return call.returns(result);
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
    // RPC_E_WRONG_THREAD for a call from another thread, with the out pointer cleared.
    static std::optional<HRESULT> refusal(const PlatformCall& call, IRunningTask** out) {
        const auto refused = call.refusal();
        if (refused && out) *out = nullptr;
        return refused;
    }

    bool enabled() const {
        const auto parsed = parse_task_xml_utf8(task_.xml);
        const auto* definition = std::get_if<TaskDefinition>(&parsed);
        return definition && definition->enabled;
    }

    // Starts the definition as it is now in the library (it may have been replaced or deleted
    // since this object was handed out).
    HRESULT run(IRunningTask** out) {
        auto current = load_task(library_, path_);
        if (!current.ok()) return current.error();
        auto parsed = parse_task_xml_utf8(std::move(current.value().xml));
        if (const auto* refusal = std::get_if<XmlRefusal>(&parsed)) return refusal->code;
        const TaskDefinition& definition = std::get<TaskDefinition>(parsed);

        RunningInstance instance{current.value().path, {}, std::nullopt};
        if (definition.enabled) {  // a disabled task answers S_OK and starts nothing
            // Room for every record before the first process starts: from then on no launch
            // throws and no record is dropped before they are written (a failed launch is a
            // record too), so a later action cannot leave the earlier processes unrecorded.
            std::vector<RunRecord> records;
            records.reserve(definition.exec_actions.size());
            for (const ExecAction& action : definition.exec_actions) records.push_back(launch_exec(action));
            append_task_runs(library_, path_, run_record_lines(records));
            for (const RunRecord& record : records) {
                if (!record.pid) continue;
                instance.pid = record.pid;
                instance.current_action = utf16_from_utf8_lossy(record.argv.front());
                break;
            }
        }
        return create_running_task(std::move(instance), out);
    }

    const std::string library_;
    const PathElements path_;
    const StoredTask task_;
};

}  // namespace

HRESULT create_registered_task(std::string library, PathElements path, StoredTask task, IRegisteredTask** out) {
    return guarded([&] {
        *out = new RegisteredTask(std::move(library), std::move(path), std::move(task));
        return S_OK;
    });
}

}  // namespace winemu
