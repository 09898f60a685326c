// faults.hpp: the entry check of every platform function: call counting and one-shot faults.
#pragma once

#include <optional>

#include <winemu/types.h>

namespace winemu {

// What a fault with a success code other than S_OK does: it is returned at once (allocators and
// the like, which have only null to give), or the call does its work and its PlatformCall
// returns the code (calls that return an HRESULT).
enum class SuccessFault { returned, does_the_work };

// Called first by every fault-injectable platform function with its own name, a text that lives
// as long as the process (a literal: the count keeps it). Counts the call.
// When a fault is queued for that name it is taken off the queue, the error object it asks for
// is left on the calling thread, and its HRESULT is returned (0: "success without an object").
std::optional<HRESULT> enter_call(const char* call, SuccessFault success = SuccessFault::returned) noexcept;

// For calls that cannot fail (void functions such as CoUninitialize): counts the call only.
void count_call(const char* call) noexcept;

}  // namespace winemu
