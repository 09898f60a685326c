// last_error.hpp: the calling thread's last Win32 error code, read with GetLastError.
#pragma once

#include <winemu/types.h>

namespace winemu {

void set_last_error(DWORD error) noexcept;

}  // namespace winemu
