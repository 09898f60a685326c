// safe_array.cpp: one-dimensional SAFEARRAYs of BSTRs or VARIANTs, and VariantClear.
//
// Only what a caller of RunEx needs: SafeArrayCreateVector, access to the elements, the bounds,
// the element type, and destruction, which frees the elements as OleAut32 does (SysFreeString for
// BSTRs, VariantClear for VARIANTs). As there, the element type is kept in the four bytes before
// the descriptor (FADF_HAVEVARTYPE), and an array whose data is accessed is locked: destroying it
// answers DISP_E_ARRAYISLOCKED. Arrays count as buffers among the outstanding allocations.
#include <cstdlib>
#include <cstring>
#include <new>

#include <winemu/com.h>

#include "com/live_objects.hpp"
#include "control/faults.hpp"
#include "control/platform_call.hpp"

namespace winemu {
namespace {

// The descriptor with its element type before it, as one allocation.
struct ArrayBlock {
    alignas(8) VARTYPE vt;
    SAFEARRAY array;
};

ArrayBlock* block_of(SAFEARRAY* array) {
    return reinterpret_cast<ArrayBlock*>(reinterpret_cast<unsigned char*>(array) - offsetof(ArrayBlock, array));
}

std::size_t element_size(VARTYPE vt) {
    switch (vt) {
    case VT_BSTR: return sizeof(BSTR);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
    }
}

void clear_elements(SAFEARRAY* array) {
    const ULONG count = array->rgsabound[0].cElements;
    if (array->fFeatures & FADF_BSTR) {
        auto* texts = static_cast<BSTR*>(array->pvData);
        for (ULONG i = 0; i < count; ++i) SysFreeString(texts[i]);
    } else if (array->fFeatures & FADF_VARIANT) {
        auto* values = static_cast<VARIANT*>(array->pvData);
        for (ULONG i = 0; i < count; ++i) VariantClear(&values[i]);
    }
}

HRESULT check_dimension(SAFEARRAY* array, UINT dimension) {
    if (!array) return E_INVALIDARG;
    return dimension == 1 ? S_OK : DISP_E_BADINDEX;
}

}  // namespace
}  // namespace winemu

extern "C" {

WINEMU_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    winemu::PlatformCall call("SafeArrayCreateVector", winemu::ErrorInfoUse::keeps);
    call.number("vt", vt);
    call.number("count", cElements);
    // An allocator: any queued fault makes it return null.
    const std::size_t size = winemu::element_size(vt);
    if (winemu::enter_call("SafeArrayCreateVector") || size == 0) {
        call.result(0);
        return nullptr;
    }
    auto* block = new (std::nothrow) winemu::ArrayBlock{};
    void* data = block ? std::calloc(cElements ? cElements : 1, size) : nullptr;
    if (!data) {
        delete block;
        call.result(0);
        return nullptr;
    }
    block->vt = vt;
    SAFEARRAY& array = block->array;
    array.cDims = 1;
    array.fFeatures = static_cast<USHORT>(FADF_HAVEVARTYPE | (vt == VT_BSTR ? FADF_BSTR : FADF_VARIANT));
    array.cbElements = static_cast<ULONG>(size);
    array.pvData = data;
    array.rgsabound[0] = {cElements, lLbound};
    winemu::count_live(winemu::Tally::buffers, 1);
    call.result(1);
    return &array;
}

WINEMU_API HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    winemu::PlatformCall call("SafeArrayDestroy", winemu::ErrorInfoUse::keeps);
    if (!psa) return call.returns(S_OK);
    if (psa->cLocks > 0) return call.returns(DISP_E_ARRAYISLOCKED);
    winemu::clear_elements(psa);
    std::free(psa->pvData);
    delete winemu::block_of(psa);
    winemu::count_live(winemu::Tally::buffers, -1);
    return call.returns(S_OK);
}

WINEMU_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    winemu::PlatformCall call("SafeArrayAccessData", winemu::ErrorInfoUse::keeps);
    if (!psa || !ppvData) return call.returns(E_INVALIDARG);
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return call.returns(S_OK);
}

WINEMU_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    winemu::PlatformCall call("SafeArrayUnaccessData", winemu::ErrorInfoUse::keeps);
    if (!psa) return call.returns(E_INVALIDARG);
    if (psa->cLocks == 0) return call.returns(E_UNEXPECTED);
    --psa->cLocks;
    return call.returns(S_OK);
}

WINEMU_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    winemu::PlatformCall call("SafeArrayGetLBound", winemu::ErrorInfoUse::keeps);
    if (!plLbound) return call.returns(E_INVALIDARG);
    if (const HRESULT checked = winemu::check_dimension(psa, nDim); FAILED(checked)) return call.returns(checked);
    *plLbound = psa->rgsabound[0].lLbound;
    return call.returns(S_OK);
}

WINEMU_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    winemu::PlatformCall call("SafeArrayGetUBound", winemu::ErrorInfoUse::keeps);
    if (!plUbound) return call.returns(E_INVALIDARG);
    if (const HRESULT checked = winemu::check_dimension(psa, nDim); FAILED(checked)) return call.returns(checked);
    *plUbound = psa->rgsabound[0].lLbound + static_cast<LONG>(psa->rgsabound[0].cElements) - 1;
    return call.returns(S_OK);
}

WINEMU_API HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    winemu::PlatformCall call("SafeArrayGetVartype", winemu::ErrorInfoUse::keeps);
    if (!psa || !pvt) return call.returns(E_INVALIDARG);
    *pvt = (psa->fFeatures & FADF_HAVEVARTYPE) ? winemu::block_of(psa)->vt
           : (psa->fFeatures & FADF_BSTR)      ? VARTYPE{VT_BSTR}
                                               : VARTYPE{VT_VARIANT};
    return call.returns(S_OK);
}

}  // extern "C"
