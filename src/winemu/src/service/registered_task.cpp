// registered_task.cpp: a registered task: its name, path, definition, state, running and stopping it.
#include "service/registered_task.hpp"

#include "accounts/account_file.hpp"
#include "accounts/account_lookup.hpp"
#include "accounts/caller.hpp"

#include <chrono>
#include <cmath>
#include <mutex>

#include "com/bstr_text.hpp"
#include "com/com_guard.hpp"
#include "com/guid_text.hpp"
#include "base/utf.hpp"
#include "control/platform_call.hpp"
#include "launch/live_runs.hpp"
#include "launch/run_parameters.hpp"
#include "launch/run_results.hpp"
#include "launch/task_run.hpp"
#include "launch/task_state.hpp"
#include "library/local_clock.hpp"
#include "library/task_readback.hpp"
#include "service/run_parameter_values.hpp"
#include "service/run_times.hpp"
#include "service/running_task.hpp"
#include "service/service_call.hpp"
#include "service/service_object.hpp"
#include "service/task_access.hpp"

namespace winemu {
namespace {

/* === What the object answers from, and what it asks again ===
 * Name, path, definition (Xml, NextRunTime, GetRunTimes) and Enabled come from the definition as
 * it was read when the object was made, and from this object's own put_Enabled: an object that
 * was handed out keeps answering for that registration. State, LastRunTime and LastTaskResult
 * read the service's records at each call, since runs change them; a task handed out by GetTasks
 * opens them inside its folder's directory, which the listing opened and its tasks share. GetTask
 * and RegisterTask hand out tasks that walk from the library at each read: they hold no
 * descriptor, so that a caller may keep any number of them. A task listed with a damaged
 * definition answers its name, path and runs, and SCHED_E_INVALID_TASK_HASH to everything that
 * needs the definition, as GetTask answers for it. A listed task keeps no definition text (a
 * listing of large definitions would hold them all): its Xml and GetRunTimes read the definition
 * as the library holds it now, and its NextRunTime comes from the listing cache
 * (listing_cache.hpp), or from the definition read again. */

// How long Stop lets a run's runner end its actions before its process group is killed.
constexpr double stop_grace_seconds = 5.0;

TASK_STATE state_of(const std::vector<InstanceState>& instances) {
    bool queued = false;
    for (const InstanceState& instance : instances) {
        if (instance.state != "queued") return TASK_STATE_RUNNING;  // starting or running
        queued = true;
    }
    return queued ? TASK_STATE_QUEUED : TASK_STATE_READY;
}

class RegisteredTask final : public ServiceObject<IRegisteredTask, IID_IRegisteredTask> {
public:
    RegisteredTask(FollowedLibrary library, ResolvedTaskPath path, StoredTask task, DefinitionFacts facts,
                   SharedFolderDirectory folder)
        : ServiceObject(library.computer()), library_(std::move(library)), path_(std::move(path)),
          folder_(std::move(folder)),
          task_path_(std::move(task.path)), xml_(std::move(task.xml)), facts_(facts) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) override {
        ServiceCall call("get_Name", *this);
        return call.answer_locally([&] {
            const std::size_t last = task_path_.find_last_of(u'\\');
            return hand_out_bstr(std::u16string_view(task_path_).substr(last + 1), pName);
        });
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) override {
        ServiceCall call("get_Path", *this);
        return call.answer_locally([&] { return hand_out_bstr(task_path_, pPath); });
    }
    HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* pState) override {
        ServiceCall call("get_State", *this);
        return call.ask([&] {
            *pState = TASK_STATE_UNKNOWN;
            const auto facts = current_facts();
            if (facts.damaged) return SCHED_E_INVALID_TASK_HASH;
            *pState = facts.enabled ? state_of(run_state().instances) : TASK_STATE_DISABLED;
            return S_OK;
        }, pState);
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pEnabled) override {
        ServiceCall call("get_Enabled", *this);
        return call.ask([&] {
            const auto facts = current_facts();
            *pEnabled = facts.enabled && !facts.damaged ? VARIANT_TRUE : VARIANT_FALSE;
            return facts.damaged ? SCHED_E_INVALID_TASK_HASH : S_OK;
        }, pEnabled);
    }
    // Rewrites Settings/Enabled in the stored definition (replaced atomically, as a registration
    // is); a task deleted meanwhile answers ERROR_FILE_NOT_FOUND and is not made again.
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL enabled) override {
        ServiceCall call("put_Enabled", *this);
        call.number("enabled", enabled);
        return call.ask([&] { return store_enabled(enabled != VARIANT_FALSE); });
    }
    HRESULT STDMETHODCALLTYPE Run(VARIANT parameters, IRunningTask** ppRunningTask) override {
        ServiceCall call("Run", *this);
        call.variant("parameters", parameters);
        return call.hand_out("running", ppRunningTask, [&] { return run(parameters, ppRunningTask, RunMethod::run); });
    }
    HRESULT STDMETHODCALLTYPE RunEx(VARIANT parameters, LONG flags, LONG sessionID, BSTR user,
                                    IRunningTask** ppRunningTask) override {
        ServiceCall call("RunEx", *this);
        call.variant("parameters", parameters);
        call.flags("flags", static_cast<ULONG>(flags));
        call.number("session", sessionID);
        call.text("user", user);
        // A fault of S_OK: success without an instance.
        return call.hand_out("running", ppRunningTask,
                             [&] { return run(parameters, ppRunningTask, RunMethod::run_ex); });
    }
    // The task's live instances, oldest first (queued ones too); flags are reserved: only 0. A
    // task no longer registered answers its not-found code.
    HRESULT STDMETHODCALLTYPE GetInstances(LONG flags, IRunningTaskCollection** ppRunningTasks) override {
        ServiceCall call("GetInstances", *this);
        call.flags("flags", static_cast<ULONG>(flags));
        return call.hand_out("instances", ppRunningTasks, [&] {
            if (flags != 0) return E_INVALIDARG;
            if (const HRESULT refused = check_current(Access::read); FAILED(refused)) return refused;
            std::vector<ComPtr<IRunningTask>> items;
            for (RunningInstance& instance : running_instances(run_state(), task_path_)) {
                IRunningTask* item = nullptr;
                if (const HRESULT made = create_running_task(library_, path_, std::move(instance), &item); FAILED(made))
                    return made;
                items.emplace_back(item);
            }
            return create_running_task_collection(std::move(items), ppRunningTasks);
        });
    }
    // A task that never ran answers SCHED_S_TASK_HAS_NOT_RUN with the date 0, as MS-TSCH has
    // SchRpcGetLastRunInfo give a zero time; the time is local, to the second.
    HRESULT STDMETHODCALLTYPE get_LastRunTime(DATE* pLastRunTime) override {
        ServiceCall call("get_LastRunTime", *this);
        return call.ask([&] {
            *pLastRunTime = 0;
            const auto last = run_state().last_run_time;
            if (!last) return SCHED_S_TASK_HAS_NOT_RUN;
            *pLastRunTime = date_from_instant(Instant(std::chrono::seconds(static_cast<long long>(std::floor(*last)))));
            return S_OK;
        }, pLastRunTime);
    }
    HRESULT STDMETHODCALLTYPE get_LastTaskResult(LONG* pLastTaskResult) override {
        ServiceCall call("get_LastTaskResult", *this);
        return call.ask([&] {
            *pLastTaskResult = run_state().last_result;
            return S_OK;
        }, pLastTaskResult);
    }
    // MS-TSCH counts the runs missed while the service could not start them (the machine was
    // off). winemu starts no run on its own, so it misses none: always 0.
    HRESULT STDMETHODCALLTYPE get_NumberOfMissedRuns(LONG* pNumberOfMissedRuns) override {
        ServiceCall call("get_NumberOfMissedRuns", *this);
        return call.ask([&] {
            *pNumberOfMissedRuns = 0;
            return S_OK;
        }, pNumberOfMissedRuns);
    }
    // A disabled task will not run: 0, as for a task whose triggers give no time after now.
    HRESULT STDMETHODCALLTYPE get_NextRunTime(DATE* pNextRunTime) override {
        ServiceCall call("get_NextRunTime", *this);
        return call.ask([&] {
            *pNextRunTime = 0;
            const auto facts = current_facts();
            if (facts.damaged) return SCHED_E_INVALID_TASK_HASH;
            if (!facts.enabled) return S_OK;
            const Instant after = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()) +
                                  std::chrono::seconds(1);
            if (facts.listed) {
                if (const auto known = cached_first_run_time(*facts.listed, after)) {
                    *pNextRunTime = *known ? date_from_instant(**known) : 0.0;
                    return S_OK;
                }
            }
            if (!facts.listed) {
                *pNextRunTime = next_run_time(facts.triggers);
                return S_OK;
            }
            auto current = load_checked_task(library(), path_);
            if (!current.ok()) return current.error();
            const auto next =
                first_run_time_cached(digest_of(current.value().stored.xml), current.value().definition.triggers, after);
            *pNextRunTime = next ? date_from_instant(*next) : 0.0;
            return S_OK;
        }, pNextRunTime);
    }
    HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition** ppDefinition) override {
        if (ppDefinition) *ppDefinition = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_Xml(BSTR* pXml) override {
        ServiceCall call("get_Xml", *this);
        if (pXml) *pXml = nullptr;
        return call.ask([&] {
            if (current_facts().damaged) return SCHED_E_INVALID_TASK_HASH;
            auto xml = current_xml();
            if (!xml.ok()) return xml.error();
            return hand_out_bstr(utf16_from_utf8_lossy(xml.value()), pXml);
        }, pXml);
    }
    // The parts of the task's descriptor that securityInformation selects, as SDDL; READ_CONTROL.
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG securityInformation, BSTR* pSddl) override {
        ServiceCall call("GetSecurityDescriptor", *this);
        call.flags("information", static_cast<ULONG>(securityInformation));
        if (pSddl) *pSddl = nullptr;
        return call.ask([&] {
            auto current = load_task(library(), path_);
            if (!current.ok()) return current.error();
            AccessContext access(library_);
            const std::string& kept = current.value().security;
            if (const HRESULT refused = access.check_task(kept, Access::read_security); FAILED(refused)) return refused;
            auto parts = descriptor_parts(access.task_sddl(kept), static_cast<std::uint32_t>(securityInformation));
            if (!parts.ok()) return parts.error();
            return hand_out_bstr(parts.value(), pSddl);
        }, pSddl);
    }
    // Replaces the task's descriptor (WRITE_DAC), its definition left as it is. Flags: 0 or
    // TASK_DONT_ADD_PRINCIPAL_ACE (the descriptor is kept as given either way).
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR sddl, LONG flags) override {
        ServiceCall call("SetSecurityDescriptor", *this);
        call.text("sddl", sddl);
        call.flags("flags", static_cast<ULONG>(flags));
        return call.ask([&] {
            if (flags & ~TASK_DONT_ADD_PRINCIPAL_ACE) return E_INVALIDARG;
            if (bstr_view(sddl).empty()) return E_INVALIDARG;
            auto kept = kept_form(bstr_view(sddl));
            if (!kept.ok()) return kept.error();
            AccessContext access(library_);
            TaskWrite write{.security = std::move(kept.value()),
                            .new_security = {},
                            .admit = [&](const StoredTask* existing) {
                                return access.check_task(existing ? existing->security : std::string(), Access::change_security);
                            },
                            .keep_definition = true};
            auto stored = store_task(library(), path_, {}, WriteMode::update, write);
            return stored.ok() ? S_OK : stored.error();
        });
    }
    // As MS-TSCH SchRpcStop: flags other than 0 are refused, a task no longer registered answers
    // its not-found code, every running instance ends (S_OK), and S_FALSE says none was running.
    // The instances end as winemu_end_runs ends them: their runners end the actions and record
    // them as terminated; a runner still there after the grace is killed with its actions.
    HRESULT STDMETHODCALLTYPE Stop(LONG flags) override {
        ServiceCall call("Stop", *this);
        call.flags("flags", static_cast<ULONG>(flags));
        return call.ask([&] {
            if (flags != 0) return E_INVALIDARG;
            if (const HRESULT refused = check_current(Access::run); FAILED(refused)) return refused;
            const auto collect = [&] { return live_runs(library(), &path_); };
            if (collect().empty()) return S_FALSE;
            end_live_runs(collect, stop_grace_seconds);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME pstStart, const LPSYSTEMTIME pstEnd, DWORD* pCount,
                                          LPSYSTEMTIME* pRunTimes) override {
        ServiceCall call("GetRunTimes", *this);
        call.text("start", system_time_text(pstStart).c_str());
        call.text("end", system_time_text(pstEnd).c_str());
        call.number("count", pCount ? static_cast<long long>(*pCount) : -1);
        if (pRunTimes) *pRunTimes = nullptr;
        return call.ask([&] {
            const auto facts = current_facts();
            if (!facts.damaged && !facts.listed)
                return hand_out_run_times(facts.triggers, pstStart, pstEnd, pCount, pRunTimes);
            if (!facts.damaged) {
                auto current = load_checked_task(library(), path_);
                if (!current.ok()) return current.error();
                return hand_out_run_times(current.value().definition.triggers, pstStart, pstEnd, pCount, pRunTimes);
            }
            if (!pCount || !pRunTimes) return E_INVALIDARG;
            *pCount = 0;
            return SCHED_E_INVALID_TASK_HASH;
        });
    }

private:
    enum class RunMethod { run, run_ex };

    // Read at each call, so that a run started since shows; from the folder's directory when the
    // object came from a listing, which saves the walk from the library each time.
    TaskRunState run_state() const {
        if (folder_ && *folder_ && library_.current())
            return task_run_state(open_task_runs_in(folder_->get(), path_.entries.back()));
        return task_run_state(library(), path_);
    }

    DefinitionFacts current_facts() const {
        const std::lock_guard lock(mutex_);
        return facts_;
    }
    // The definition this object answers for; a listed task's as the library holds it now.
    HResultOr<std::string> current_xml() const {
        {
            const std::lock_guard lock(mutex_);
            if (!facts_.listed) return xml_;
        }
        auto stored = load_task(library(), path_);
        if (!stored.ok()) return HResultOr<std::string>::failure(stored.error());
        return std::move(stored.value().xml);
    }

    HRESULT store_enabled(bool enabled) {
        auto current = load_checked_task(library(), path_);
        if (!current.ok()) return current.error();
        if (const HRESULT refused = AccessContext(library_).check_task(current.value().stored.security, Access::change);
            FAILED(refused))
            return refused;
        auto changed = with_enabled(std::move(current.value().stored.xml), enabled);
        auto* definition = std::get_if<TaskDefinition>(&changed);
        if (!definition) return SCHED_E_INVALID_TASK_HASH;
        if (current.value().definition.enabled != enabled) {
            auto stored = store_task(library(), path_, definition->xml, WriteMode::update);
            if (!stored.ok()) return stored.error();
            remember_stored(stored.value().xml, *definition);
        }
        const std::lock_guard lock(mutex_);
        xml_ = std::move(definition->xml);
        facts_ = {enabled, false, std::nullopt, std::move(definition->triggers)};
        return S_OK;
    }

    // Starts the definition as it is now in the library (it may have been replaced or deleted
    // since this object was handed out), read back and checked once. As Microsoft documents
    // IRegisteredTask::Run and RunEx: a disabled task answers Run with SCHED_E_TASK_DISABLED and
    // RunEx with S_OK, starting nothing; AllowStartOnDemand false answers S_OK and starts nothing.
    // The parameters are checked first: values that cannot be taken start nothing. An instance
    // that did not start (a disabled task's, one refused on demand or by IgnoreNew) is handed out
    // all the same, in state unknown, and answers as one that has ended.
    HRESULT run(const VARIANT& parameters, IRunningTask** out, RunMethod method) {
        auto values = run_parameter_values(parameters);
        if (!values.ok()) return values.error();
        auto current = load_checked_task(library(), path_);
        if (!current.ok()) return current.error();
        CheckedTask& task = current.value();
        if (const HRESULT refused = AccessContext(library_).check_task(task.stored.security, Access::run);
            FAILED(refused))
            return refused;
        RunningInstance instance{std::move(task.stored.path), new_guid_text(), std::nullopt, {}, std::nullopt,
                                 TASK_STATE_UNKNOWN};
        if (!task.definition.enabled && method == RunMethod::run) return SCHED_E_TASK_DISABLED;
        const RunSettings& settings = task.definition.run_settings;
        if (task.definition.enabled && settings.allow_start_on_demand) {
            substitute_parameters(task.definition.exec_actions, values.value());
            auto started = start_task_run(library(), path_, std::move(task.definition.exec_actions), settings,
                                          run_account(task.definition.principal));
            if (!started.ok()) return started.error();
            if (const auto& first = started.value()) {
                instance.instance = utf16_from_utf8_lossy(first->instance);
                instance.run = first->run;
                instance.pid = first->engine;
                instance.current_action = utf16_from_utf8_lossy(first->program);
                instance.state = first->queued ? TASK_STATE_QUEUED : TASK_STATE_RUNNING;
            }
        }
        return create_running_task(library_, path_, std::move(instance), out);
    }


    // Whether the caller may do `access` to the task as it is registered now; its not-found code when
    // it is no longer registered. A damaged task is checked against the default descriptor.
    HRESULT check_current(Access access) const {
        auto present = load_task(library(), path_);
        if (!present.ok() && present.error() != SCHED_E_INVALID_TASK_HASH) return present.error();
        return AccessContext(library_).check_task(present.ok() ? present.value().security : std::string(), access);
    }

    // Who a run runs as: the principal's account as the computer names it (its text when the
    // computer does not know it), or, for a definition that names none, the caller.
    std::string run_account(const DefinitionPrincipal& principal) const {
        const std::optional<std::string>& id = principal.group_id ? principal.group_id : principal.user_id;
        auto accounts = load_accounts(library());
        if (!accounts.ok()) return id.value_or("");
        if (id) {
            const auto found = find_account(accounts.value(), *id);
            return found ? found->qualified_name() : *id;
        }
        auto caller = caller_among(accounts.value(), library_);
        return caller.ok() ? caller.value().qualified_name() : "";
    }

    std::string library() const { return library_.path(); }

    const FollowedLibrary library_;
    const ResolvedTaskPath path_;  // folded and escaped once, for every later call
    const SharedFolderDirectory folder_;  // the listed folder's directory, or none
    const std::u16string task_path_;  // "\Folder\Name" as registered
    mutable std::mutex mutex_;        // guards what put_Enabled changes
    std::string xml_;                 // the definition, UTF-8
    DefinitionFacts facts_;
};

}  // namespace

HRESULT create_registered_task(FollowedLibrary library, ResolvedTaskPath path, StoredTask task, DefinitionFacts facts,
                               IRegisteredTask** out, SharedFolderDirectory folder) {
    return guarded([&] {
        *out = new RegisteredTask(std::move(library), std::move(path), std::move(task), facts, std::move(folder));
        return S_OK;
    });
}

}  // namespace winemu
