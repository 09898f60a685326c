// running_task.cpp: the running instance that RunEx hands back.
#include "service/running_task.hpp"

#include "com/bstr_text.hpp"
#include "com/com_guard.hpp"
#include "com/dispatch_object.hpp"
#include "com/guid_text.hpp"

namespace winemu {
namespace {

// A snapshot taken when the task was started; the processes are not followed afterwards.
class RunningTask final : public DispatchObject<IRunningTask, IID_IRunningTask> {
public:
    explicit RunningTask(RunningInstance instance) : instance_(std::move(instance)), guid_(new_guid_text()) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) override {
        return guarded([&] {
            const std::size_t last = instance_.path.find_last_of(u'\\');
            return hand_out_bstr(std::u16string_view(instance_.path).substr(last + 1), pName);
        });
    }
    HRESULT STDMETHODCALLTYPE get_InstanceGuid(BSTR* pGuid) override { return hand_out_bstr(guid_, pGuid); }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) override { return hand_out_bstr(instance_.path, pPath); }
    HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* pState) override {
        if (!pState) return E_POINTER;
        *pState = instance_.pid ? TASK_STATE_RUNNING : TASK_STATE_UNKNOWN;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CurrentAction(BSTR* pName) override {
        return hand_out_bstr(instance_.current_action, pName);
    }
    HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Refresh() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_EnginePID(DWORD* pPID) override {
        if (!pPID) return E_POINTER;
        *pPID = instance_.pid ? static_cast<DWORD>(*instance_.pid) : 0;
        return S_OK;
    }

private:
    const RunningInstance instance_;
    const std::u16string guid_;
};

}  // namespace

HRESULT create_running_task(RunningInstance instance, IRunningTask** out) {
    return guarded([&] {
        *out = new RunningTask(std::move(instance));
        return S_OK;
    });
}

}  // namespace winemu
