// co_create_instance.cpp: CoCreateInstance, which knows one class: the Task Scheduler service.
#include <winemu/taskschd.h>

#include "com/apartments.hpp"
#include "control/faults.hpp"
#include "control/platform_call.hpp"
#include "service/task_service.hpp"

extern "C" WINEMU_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                               LPVOID* ppv) {
    winemu::PlatformCall call("CoCreateInstance", winemu::ErrorInfoUse::discards);
    call.text("class", rclsid == CLSID_TaskScheduler ? "TaskScheduler" : "other");
    call.object("outer", pUnkOuter);
    call.flags("context", dwClsContext);
    const HRESULT result = [&] {
        if (ppv) *ppv = nullptr;
        // A fault of 0 reports success with *ppv left null, as a broken class factory would.
        if (const auto fault = winemu::enter_call("CoCreateInstance", winemu::SuccessFault::does_the_work))
            return *fault;
        if (!ppv) return E_POINTER;
        if (!winemu::thread_in_apartment() && !winemu::thread_in_multithreaded_apartment()) return CO_E_NOTINITIALIZED;
        // The service is an in-process server only; asking for another context finds no server.
        if (rclsid != CLSID_TaskScheduler || (dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        return winemu::create_task_service(riid, ppv);
    }();
    call.object("service", ppv ? *ppv : nullptr);
    return call.returns(result);
}
