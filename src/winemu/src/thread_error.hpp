// thread_error.hpp: the calling thread's current COM error object.
#pragma once

#include <winemu/com.h>

#include "com_ptr.hpp"

namespace winemu {

// Makes `object` the thread's current error object, releasing the one it replaces.
void replace_thread_error(ComPtr<IErrorInfo> object) noexcept;

// Hands the thread's current error object over to the caller and leaves the thread without one.
ComPtr<IErrorInfo> take_thread_error() noexcept;

}  // namespace winemu
