// running_task.cpp: the running instance that RunEx hands back.
#include "service/running_task.hpp"

#include "com/bstr_text.hpp"
#include "com/com_guard.hpp"
#include "com/guid_text.hpp"
#include "service/service_call.hpp"
#include "service/service_object.hpp"

namespace winemu {
namespace {

// A snapshot taken when the task was started; the processes are not followed afterwards.
class RunningTask final : public ServiceObject<IRunningTask, IID_IRunningTask> {
public:
    explicit RunningTask(RunningInstance instance) : instance_(std::move(instance)), guid_(new_guid_text()) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) override {
        ServiceCall call("get_Name", *this);
        return call.answer_locally([&] {
            const std::size_t last = instance_.path.find_last_of(u'\\');
            return hand_out_bstr(std::u16string_view(instance_.path).substr(last + 1), pName);
        });
    }
    HRESULT STDMETHODCALLTYPE get_InstanceGuid(BSTR* pGuid) override {
        ServiceCall call("get_InstanceGuid", *this);
        return call.answer_locally([&] { return hand_out_bstr(guid_, pGuid); });
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) override {
        ServiceCall call("get_Path", *this);
        return call.answer_locally([&] { return hand_out_bstr(instance_.path, pPath); });
    }
    HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* pState) override {
        ServiceCall call("get_State", *this);
        return call.answer_locally([&] {
            *pState = instance_.pid ? TASK_STATE_RUNNING : TASK_STATE_UNKNOWN;
            return S_OK;
        }, pState);
    }
    HRESULT STDMETHODCALLTYPE get_CurrentAction(BSTR* pName) override {
        ServiceCall call("get_CurrentAction", *this);
        return call.answer_locally([&] { return hand_out_bstr(instance_.current_action, pName); });
    }
    HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Refresh() override {
        ServiceCall call("Refresh", *this);
        return call.answer_locally([] { return S_OK; });
    }
    HRESULT STDMETHODCALLTYPE get_EnginePID(DWORD* pPID) override {
        ServiceCall call("get_EnginePID", *this);
        return call.answer_locally([&] {
            *pPID = instance_.pid ? static_cast<DWORD>(*instance_.pid) : 0;
            return S_OK;
        }, pPID);
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
