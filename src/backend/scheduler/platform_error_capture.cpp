// platform_error_capture.cpp: PlatformError::from_hresult, taking the thread's error object.
//
// === Overview ===
// A failing call may leave an error object on its thread. When that object offers
// IRestrictedErrorInfo it is kept as the detail (after asking it to capture the propagation context).
// Otherwise the code alone is kept: a plain IErrorInfo is released unread, because its text is not
// tied to the code. Only an error object set on the thread after the first look (found by a second
// GetErrorInfo) is turned into a restricted one: its description is handed to RoOriginateError,
// looked up in combase.dll at each use (loaded and freed again around the call), and the restricted
// object that call leaves is taken.
// Failures met on the way are captured the same way and dropped; they never change the code.
#include <utility>

#include "scheduler/platform_error.hpp"
#include "scheduler/unique_bstr.hpp"
#include "owners/unique_handle.hpp"

namespace morvane::scheduler {
namespace {

// Nested captures of secondary failures stop here; each level needs a fresh failure, so real
// chains are short, and the bound keeps a misbehaving platform from recursing without end.
constexpr int max_capture_depth = 4;

// The declared signature of the export, so that a mismatch with the SDK cannot go unnoticed.
using RoOriginateErrorFunction = decltype(&RoOriginateError);

// The HSTRING handed to RoOriginateError, and combase.dll while it is looked into.
using UniqueHstring = UniqueHandle<HSTRING, &WindowsDeleteString>;
using UniqueLibrary = UniqueHandle<HMODULE, &FreeLibrary>;

// GetErrorInfo: the thread's error object, handed over and cleared on the thread. A failure of
// GetErrorInfo itself only means that there is no object.
ComPtr<IErrorInfo> take_error_info() {
    ComPtr<IErrorInfo> info;
    if (FAILED(GetErrorInfo(0, info.put()))) info.reset();
    return info;
}

template <class Interface, class Source>
ComPtr<Interface> query(const ComPtr<Source>& source, REFIID iid, int depth) {
    ComPtr<Interface> result;
    const HRESULT outcome = source->QueryInterface(iid, result.put_void());
    if (FAILED(outcome)) {
        drop_secondary_failure(outcome, depth);
        result.reset();
    }
    return result;
}

void capture_propagation_context(const ComPtr<IRestrictedErrorInfo>& restricted, int depth) {
    ComPtr<ILanguageExceptionErrorInfo2> language =
        query<ILanguageExceptionErrorInfo2>(restricted, IID_ILanguageExceptionErrorInfo2, depth);
    if (!language) return;
    const HRESULT outcome = language->CapturePropagationContext(nullptr);
    if (FAILED(outcome)) drop_secondary_failure(outcome, depth);
}

// IErrorInfo::GetDescription, unchanged; a failure or a null BSTR is the empty text.
UniqueBstr description_of(const ComPtr<IErrorInfo>& info, int depth) {
    UniqueBstr description;
    const HRESULT outcome = info->GetDescription(description.put());
    if (FAILED(outcome)) {
        drop_secondary_failure(outcome, depth);
        description.reset();
    }
    return description;
}

// A function pointer of one type from GetProcAddress's generic one; the detour through
// void(*)() is the conversion compilers accept between unrelated function types.
RoOriginateErrorFunction as_originate_error(FARPROC procedure) {
    return reinterpret_cast<RoOriginateErrorFunction>(reinterpret_cast<void (*)()>(procedure));
}

// Calls RoOriginateError(code, description) when combase.dll offers it.
void originate_error(HRESULT code, WideView description, int depth) {
    UniqueLibrary combase(LoadLibraryExA("combase.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
    if (!combase) return;
    const FARPROC procedure = GetProcAddress(combase.get(), "RoOriginateError");
    if (procedure == nullptr) return;  // combase is freed again
    // The handle is given back once the call is made: the COM runtime keeps combase loaded for
    // as long as the error object it makes may call back into it, so this reference is not needed.

    UniqueHstring message;  // the empty description is the null HSTRING
    if (!description.empty()) {
        const HRESULT outcome =
            WindowsCreateString(description.data(), static_cast<UINT32>(description.size()), message.put());
        if (FAILED(outcome)) {
            drop_secondary_failure(outcome, depth);
            message.reset();
        }
    }
    // Its result (whether error information was attached) is ignored: the thread is read next.
    as_originate_error(procedure)(code, message.get());
}

}  // namespace

PlatformError PlatformError::from_hresult(HRESULT code) { return capture(code, 0); }

PlatformError PlatformError::capture(HRESULT code, int depth) {
    if (ComPtr<IErrorInfo> info = take_error_info()) {
        ComPtr<IRestrictedErrorInfo> restricted = query<IRestrictedErrorInfo>(info, IID_IRestrictedErrorInfo, depth);
        info.reset();
        if (restricted) {
            capture_propagation_context(restricted, depth);
            return PlatformError(code, std::move(restricted));
        }
    }

    // Declared first so that it is released last, after the description it was asked for.
    const ComPtr<IErrorInfo> later_info = take_error_info();
    if (!later_info) return PlatformError(code, {});
    const UniqueBstr description = description_of(later_info, depth);

    originate_error(code, bstr_view(description.get()), depth);
    ComPtr<IRestrictedErrorInfo> originated;
    if (ComPtr<IErrorInfo> info = take_error_info())
        originated = query<IRestrictedErrorInfo>(info, IID_IRestrictedErrorInfo, depth);
    return PlatformError(code, std::move(originated));
}

void drop_secondary_failure(HRESULT code, int depth) {
    // At the bound the failure's error object is still taken off the thread, unread: left there,
    // it would pass for the error information of whatever the thread calls next.
    if (depth >= max_capture_depth) {
        take_error_info();
        return;
    }
    // The captured value is destroyed at the end of the statement, releasing what it took.
    PlatformError::capture(code, depth + 1);
}

}  // namespace morvane::scheduler
