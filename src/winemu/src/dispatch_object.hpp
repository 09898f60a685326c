// dispatch_object.hpp: the IUnknown and IDispatch half shared by the service's COM objects.
#pragma once

#include <winemu/com.h>

#include "com_object.hpp"

namespace winemu {

// Implements reference counting (atomic; the object deletes itself at zero), QueryInterface for
// IUnknown, IDispatch and the object's own interface, and an IDispatch without type information
// (E_NOTIMPL), since callers use the vtable. A new object starts with one reference.
template <typename Interface, const IID& OwnIid>
class DispatchObject : public Interface {
public:
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        const bool offered =
            IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, OwnIid);
        return answer_query(offered ? static_cast<Interface*>(this) : nullptr, ppvObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references_.add(); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = references_.release();
        if (left == 0) delete this;
        return left;
    }

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
    DispatchObject() = default;
    virtual ~DispatchObject() = default;

private:
    ReferenceCount references_;
};

}  // namespace winemu
