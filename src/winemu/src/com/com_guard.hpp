// com_guard.hpp: COM methods return HRESULTs; nothing thrown inside may cross them.
#pragma once

#include <new>
#include <string_view>

#include <winemu/types.h>

namespace winemu {

// Runs the body of a COM method: running out of memory becomes E_OUTOFMEMORY, anything else
// thrown E_UNEXPECTED, so that no exception ever leaves the method.
template <typename Body>
HRESULT guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace winemu
