// dispatch_object.hpp: the IUnknown and IDispatch half shared by the service's COM objects.
#pragma once

#include <winemu/com.h>
#include <winemu/taskschd.h>

#include "com/com_object.hpp"
#include "com/journaled_references.hpp"
#include "base/object_identity.hpp"
#include "control/platform_call.hpp"

namespace winemu {

// The names the journal and the violations give the service's objects.
template <typename Interface>
constexpr const char* interface_name = "IDispatch";
template <>
inline constexpr const char* interface_name<ITaskService> = "ITaskService";
template <>
inline constexpr const char* interface_name<ITaskFolder> = "ITaskFolder";
template <>
inline constexpr const char* interface_name<IRegisteredTask> = "IRegisteredTask";
template <>
inline constexpr const char* interface_name<IRunningTask> = "IRunningTask";
template <>
inline constexpr const char* interface_name<IRegisteredTaskCollection> = "IRegisteredTaskCollection";
template <>
inline constexpr const char* interface_name<ITaskFolderCollection> = "ITaskFolderCollection";

// Implements reference counting (atomic; the object deletes itself at zero), QueryInterface for
// IUnknown, IDispatch and the object's own interface, and an IDispatch without type information
// (E_NOTIMPL), since callers use the vtable. A new object starts with one reference and belongs
// to the apartment of the thread that made it.
template <typename Interface, const IID& OwnIid>
class DispatchObject : public Interface, public IdentifiedObject {
public:
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        PlatformCall call("QueryInterface", identity_, ErrorInfoUse::keeps);
        if (const auto refused = call.refusal()) {
            if (ppvObject) *ppvObject = nullptr;
            return call.returns(*refused);
        }
        const bool offered =
            IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, OwnIid);
        return call.returns(answer_query(offered ? static_cast<Interface*>(this) : nullptr, ppvObject));
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return journaled_add_ref(references_, identity_, ErrorInfoUse::discards);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        return journaled_release(references_, identity_, ErrorInfoUse::discards, [this] { delete this; });
    }

    const ObjectIdentity& identity() const noexcept override { return identity_; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // Hands the first reference to the caller as the interface asked for (released here on failure).
    HRESULT hand_out(REFIID riid, void** ppv) {
        const HRESULT hr = QueryInterface(riid, ppv);
        Release();
        return hr;
    }

protected:
    DispatchObject() noexcept : identity_(interface_name<Interface>, false) {}
    virtual ~DispatchObject() = default;

private:
    ReferenceCount references_;
    const ObjectIdentity identity_;
};

}  // namespace winemu
