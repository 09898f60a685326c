// running_task.cpp: IRunningTask, one instance of a task as the service's run records show it,
// and IRunningTaskCollection, the instances GetInstances and GetRunningTasks hand out.
#include "service/running_task.hpp"

#include <mutex>

#include "base/utf.hpp"
#include "com/bstr_text.hpp"
#include "com/com_guard.hpp"
#include "launch/live_runs.hpp"
#include "launch/run_records.hpp"
#include "service/collection_index.hpp"
#include "service/service_call.hpp"
#include "service/service_object.hpp"
#include "service/variant_enumerator.hpp"

namespace winemu {
namespace {

/* === What an instance answers ===
 * Its properties are those of the instance when it was listed (or started), until Refresh reads
 * the task's records again and finds the instance by its GUID. Once the instance has ended, it is
 * no longer running: Refresh and Stop answer SCHED_E_TASK_NOT_RUNNING and the properties keep
 * what they last said. Stop ends this instance only, as IRegisteredTask::Stop ends them all: its
 * runner ends its actions and records them as terminated (a queued instance ends before it
 * starts), and a runner still there after the grace is killed with its actions. */

// How long Stop lets the instance's runner end its actions before its process group is killed.
constexpr double stop_grace_seconds = 5.0;

TASK_STATE instance_state(const std::string& recorded) {
    return recorded == "queued" ? TASK_STATE_QUEUED : TASK_STATE_RUNNING;  // starting or running
}

class RunningTask final : public ServiceObject<IRunningTask, IID_IRunningTask> {
public:
    RunningTask(FollowedLibrary library, ResolvedTaskPath path, RunningInstance instance)
        : ServiceObject(library.computer()), library_(std::move(library)), path_(std::move(path)), instance_(std::move(instance)) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) override {
        ServiceCall call("get_Name", *this);
        return call.answer_locally([&] {
            const std::u16string path = snapshot().path;
            return hand_out_bstr(std::u16string_view(path).substr(path.find_last_of(u'\\') + 1), pName);
        });
    }
    HRESULT STDMETHODCALLTYPE get_InstanceGuid(BSTR* pGuid) override {
        ServiceCall call("get_InstanceGuid", *this);
        return call.answer_locally([&] { return hand_out_bstr(snapshot().instance, pGuid); });
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) override {
        ServiceCall call("get_Path", *this);
        return call.answer_locally([&] { return hand_out_bstr(snapshot().path, pPath); });
    }
    HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* pState) override {
        ServiceCall call("get_State", *this);
        return call.answer_locally([&] {
            *pState = snapshot().state;
            return S_OK;
        }, pState);
    }
    HRESULT STDMETHODCALLTYPE get_CurrentAction(BSTR* pName) override {
        ServiceCall call("get_CurrentAction", *this);
        return call.answer_locally([&] { return hand_out_bstr(snapshot().current_action, pName); });
    }
    HRESULT STDMETHODCALLTYPE get_EnginePID(DWORD* pPID) override {
        ServiceCall call("get_EnginePID", *this);
        return call.answer_locally([&] {
            const auto pid = snapshot().pid;
            *pPID = pid ? static_cast<DWORD>(*pid) : 0;
            return S_OK;
        }, pPID);
    }
    HRESULT STDMETHODCALLTYPE Refresh() override {
        ServiceCall call("Refresh", *this);
        return call.ask([&] {
            const RunningInstance current = snapshot();
            if (!current.run) return SCHED_E_TASK_NOT_RUNNING;
            for (RunningInstance& found : running_instances(task_run_state(library_.path(), path_), current.path)) {
                if (found.run != current.run) continue;
                const std::lock_guard lock(mutex_);
                instance_ = std::move(found);
                return S_OK;
            }
            return SCHED_E_TASK_NOT_RUNNING;
        });
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        ServiceCall call("Stop", *this);
        return call.ask([&] {
            const auto run = snapshot().run;
            if (!run) return SCHED_E_TASK_NOT_RUNNING;
            const std::string library = library_.path();
            const auto collect = [&] {
                std::vector<LiveRun> runs = live_runs(library, &path_);
                std::erase_if(runs, [&](const LiveRun& live) { return live.run != *run; });
                return runs;
            };
            if (collect().empty()) return SCHED_E_TASK_NOT_RUNNING;
            end_live_runs(collect, stop_grace_seconds);
            return S_OK;
        });
    }

private:
    RunningInstance snapshot() const {
        const std::lock_guard lock(mutex_);
        return instance_;
    }

    const FollowedLibrary library_;
    const ResolvedTaskPath path_;
    mutable std::mutex mutex_;  // guards what Refresh changes
    RunningInstance instance_;
};

// A snapshot of the instances when it was made: an instance that ends stays in it.
class RunningTaskCollection final : public ServiceObject<IRunningTaskCollection, IID_IRunningTaskCollection> {
public:
    explicit RunningTaskCollection(std::vector<ComPtr<IRunningTask>> items) : items_(std::move(items)) {}

    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        ServiceCall call("get_Count", *this);
        return call.answer_locally([&] {
            *count = static_cast<LONG>(items_.size());
            return S_OK;
        }, count);
    }
    // Numbered from 1; a position out of 1..Count answers E_INVALIDARG.
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IRunningTask** item) override {
        ServiceCall call("get_Item", *this);
        call.variant("index", index);
        if (item) *item = nullptr;
        const HRESULT result = call.answer_locally([&] {
            const auto position = integer_index(index);
            if (!position) return DISP_E_TYPEMISMATCH;
            if (*position < 1 || *position > static_cast<long long>(items_.size())) return E_INVALIDARG;
            IRunningTask* found = items_[static_cast<std::size_t>(*position - 1)].get();
            found->AddRef();
            *item = found;
            return S_OK;
        }, item);
        call.object("item", item ? *item : nullptr);
        return result;
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** penum) override {
        ServiceCall call("get__NewEnum", *this);
        if (penum) *penum = nullptr;
        const HRESULT result = call.answer_locally([&] {
            return create_variant_enumerator(items_, [](const auto& instance) { return instance.get(); }, penum);
        }, penum);
        call.object("enumerator", penum ? *penum : nullptr);
        return result;
    }

private:
    const std::vector<ComPtr<IRunningTask>> items_;
};

}  // namespace

std::vector<RunningInstance> running_instances(const TaskRunState& state, const std::u16string& task_path) {
    std::vector<RunningInstance> instances;
    instances.reserve(state.instances.size());
    for (const InstanceState& live : state.instances) {
        instances.push_back({task_path, utf16_from_utf8_lossy(live.instance), live.run,
                             utf16_from_utf8_lossy(json_string_text(live.action_json).value_or("")), live.runner,
                             instance_state(live.state)});
    }
    return instances;
}

HRESULT create_running_task(FollowedLibrary library, ResolvedTaskPath path, RunningInstance instance,
                            IRunningTask** out) {
    return guarded([&] {
        *out = new RunningTask(std::move(library), std::move(path), std::move(instance));
        return S_OK;
    });
}

HRESULT create_running_task_collection(std::vector<ComPtr<IRunningTask>> instances, IRunningTaskCollection** out) {
    return guarded([&] {
        *out = new RunningTaskCollection(std::move(instances));
        return S_OK;
    });
}

}  // namespace winemu
