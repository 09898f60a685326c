// last_error.cpp: the calling thread's last Win32 error code (SetLastError's side, GetLastError).
#include "com/last_error.hpp"

#include <winemu/kernel.h>

namespace winemu {
namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

}  // namespace

void set_last_error(DWORD error) noexcept { last_error = error; }

}  // namespace winemu

extern "C" WINEMU_API DWORD GetLastError() { return winemu::last_error; }
