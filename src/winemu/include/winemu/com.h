// com.h: COM's base interfaces, apartments, BSTRs and per-thread error information.
#pragma once

#include "types.h"

// Interface identifiers, with their documented values.
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IEnumVARIANT = {0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct ITypeInfo;
struct DISPPARAMS;
struct EXCEPINFO;

struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                    DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                             DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
};

// What a collection's _NewEnum hands out: its items, celt at a time, as VARIANTs.
struct IEnumVARIANT : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) = 0;
};

struct IErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};

extern "C" {
WINEMU_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
WINEMU_API void CoUninitialize();
// Keeps the multithreaded apartment alive until the cookie is given back, so that threads that
// entered no apartment use it (the implicit MTA). Any thread may call either.
WINEMU_API HRESULT CoIncrementMTAUsage(CO_MTA_USAGE_COOKIE* pCookie);
WINEMU_API HRESULT CoDecrementMTAUsage(CO_MTA_USAGE_COOKIE Cookie);
// The calling thread's apartment; CO_E_NOTINITIALIZED outside any (and no implicit MTA).
WINEMU_API HRESULT CoGetApartmentType(APTTYPE* pAptType, APTTYPEQUALIFIER* pAptQualifier);
WINEMU_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                    LPVOID* ppv);

WINEMU_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
WINEMU_API UINT SysStringLen(BSTR pbstr);
WINEMU_API void SysFreeString(BSTR bstrString);

WINEMU_API void VariantInit(VARIANT* pvarg);
// Frees what the VARIANT owns (a BSTR, an array and its elements, a reference) and leaves it VT_EMPTY.
WINEMU_API HRESULT VariantClear(VARIANT* pvarg);

// One-dimensional arrays of BSTRs or VARIANTs, as RunEx takes its parameters.
WINEMU_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
WINEMU_API HRESULT SafeArrayDestroy(SAFEARRAY* psa);
WINEMU_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
WINEMU_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
WINEMU_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
WINEMU_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
WINEMU_API HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);

// The task allocator: what a service call hands to its caller (GetRunTimes' array) is freed with it.
WINEMU_API LPVOID CoTaskMemAlloc(SIZE_T cb);
WINEMU_API void CoTaskMemFree(LPVOID pv);

WINEMU_API HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
WINEMU_API HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
}
