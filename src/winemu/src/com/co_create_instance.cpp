// co_create_instance.cpp: CoCreateInstance, which makes the classes registered with it (the Task
// Scheduler service registers its own when winemu loads).
#include <winemu/com.h>

#include "com/apartments.hpp"
#include "com/class_registry.hpp"
#include "control/faults.hpp"
#include "control/platform_call.hpp"

extern "C" WINEMU_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                               LPVOID* ppv) {
    winemu::PlatformCall call("CoCreateInstance", winemu::ErrorInfoUse::discards);
    const winemu::RegisteredClass* const registered = winemu::find_class(rclsid);
    call.text("class", registered ? registered->name : "other");
    call.object("outer", pUnkOuter);
    call.flags("context", dwClsContext);
    const HRESULT result = [&] {
        if (ppv) *ppv = nullptr;
        // A fault of 0 reports success with *ppv left null, as a broken class factory would.
        if (const auto fault = winemu::enter_call("CoCreateInstance", winemu::SuccessFault::does_the_work))
            return *fault;
        if (!ppv) return E_POINTER;
        if (!winemu::thread_in_apartment() && !winemu::thread_in_multithreaded_apartment()) return CO_E_NOTINITIALIZED;
        // Every class is an in-process server only; asking for another context finds no server.
        if (!registered || (dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        return registered->create(riid, ppv);
    }();
    call.object("service", ppv ? *ppv : nullptr);
    return call.returns(result);
}
