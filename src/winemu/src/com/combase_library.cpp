// combase_library.cpp: LoadLibraryExA, GetProcAddress and FreeLibrary for the one known library, combase.dll.
#include <array>
#include <cstdint>
#include <string_view>

#include <winemu/kernel.h>
#include <winemu/restricted_error.h>

#include "control/faults.hpp"
#include "com/last_error.hpp"
#include "com/live_objects.hpp"
#include "control/platform_call.hpp"
#include "base/text_units.hpp"
#include "control/violations.hpp"

namespace winemu {
namespace {

constexpr DWORD error_invalid_handle = 6;

// The module handle is the address of this object: unique, never null, never dereferenced by callers.
char combase_module;
HMODULE combase_handle() { return reinterpret_cast<HMODULE>(&combase_module); }

// Windows adds ".dll" to a name without an extension.
bool names_combase(std::string_view name) {
    return equal_ignoring_ascii_case(name, "combase.dll") || equal_ignoring_ascii_case(name, "combase");
}

// Any function pointer passes through void(*)() without a cast-function-type warning.
template <typename Function>
FARPROC as_farproc(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct Export {
    std::string_view name;
    FARPROC address;
};

FARPROC find_export(std::string_view name) {
    const std::array<Export, 4> exports{{
        {"RoOriginateError", as_farproc(&RoOriginateError)},
        {"WindowsCreateString", as_farproc(&WindowsCreateString)},
        {"WindowsDeleteString", as_farproc(&WindowsDeleteString)},
        {"WindowsGetStringRawBuffer", as_farproc(&WindowsGetStringRawBuffer)},
    }};
    // Export names are case-sensitive, as on Windows.
    for (const Export& entry : exports)
        if (entry.name == name) return entry.address;
    return nullptr;
}

// Values below 0x10000 are ordinals, not names; combase's ordinals are not offered.
bool is_ordinal(LPCSTR name) { return reinterpret_cast<std::uintptr_t>(name) < 0x10000; }

}  // namespace

}  // namespace winemu

extern "C" {

// Each handle handed out is counted in outstanding().libraries until FreeLibrary gives it back:
// a load that is never freed is a leak of the caller, even though combase itself stays loaded.
WINEMU_API HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
    winemu::PlatformCall call("LoadLibraryExA", winemu::ErrorInfoUse::keeps);
    call.text("name", lpLibFileName);
    call.flags("flags", dwFlags);
    const HMODULE module = [&]() -> HMODULE {
        if (const auto fault = winemu::enter_call("LoadLibraryExA")) {
            winemu::set_last_error(static_cast<DWORD>(*fault));
            return nullptr;
        }
        if (!lpLibFileName || hFile) {
            winemu::set_last_error(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (!winemu::names_combase(lpLibFileName)) {
            winemu::set_last_error(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        winemu::live_libraries().fetch_add(1, std::memory_order_relaxed);
        return winemu::combase_handle();
    }();
    call.result(module ? 1 : 0);
    return module;
}

WINEMU_API FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    winemu::PlatformCall call("GetProcAddress", winemu::ErrorInfoUse::keeps);
    call.text("name", winemu::is_ordinal(lpProcName) ? "#ordinal" : lpProcName);
    const FARPROC address = [&]() -> FARPROC {
        if (const auto fault = winemu::enter_call("GetProcAddress")) {
            winemu::set_last_error(static_cast<DWORD>(*fault));
            return nullptr;
        }
        if (hModule != winemu::combase_handle()) {
            winemu::set_last_error(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        const FARPROC found = winemu::is_ordinal(lpProcName) ? nullptr : winemu::find_export(lpProcName);
        if (!found) winemu::set_last_error(ERROR_PROC_NOT_FOUND);
        return found;
    }();
    call.result(address ? 1 : 0);
    return address;
}

WINEMU_API BOOL FreeLibrary(HMODULE hLibModule) {
    winemu::PlatformCall call("FreeLibrary", winemu::ErrorInfoUse::keeps);
    // combase stays loaded for the life of the process, so freeing it checks the handle and the count.
    winemu::count_call("FreeLibrary");
    if (hLibModule != winemu::combase_handle()) {
        winemu::set_last_error(winemu::error_invalid_handle);
        call.result(FALSE);
        return FALSE;
    }
    if (winemu::live_libraries().fetch_sub(1, std::memory_order_relaxed) <= 0) {
        winemu::live_libraries().fetch_add(1, std::memory_order_relaxed);
        winemu::record_violation("FreeLibrary of combase.dll more often than LoadLibraryExA loaded it");
    }
    call.result(TRUE);
    return TRUE;
}

}  // extern "C"
