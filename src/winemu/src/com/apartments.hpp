// apartments.hpp: the calling thread's COM apartment, and the apartment an object was made in.
#pragma once

#include "base/com_runtime.hpp"

namespace winemu {

// True while the calling thread has entered an apartment (of either model) and not left it.
bool thread_in_apartment() noexcept;

// True while the calling thread is in the multithreaded apartment: entered, or in no apartment
// while the multithreaded one exists (COM's implicit MTA).
bool thread_in_multithreaded_apartment() noexcept;

// The calling thread's unbalanced CoInitializeEx entries (0 outside any apartment).
long long thread_apartment_entries() noexcept;

// Cookies that CoIncrementMTAUsage handed out and CoDecrementMTAUsage has not taken back, over all threads.
long long live_mta_usages() noexcept;

// The apartment of the calling thread, as the home of an object it makes now.
ApartmentHome current_apartment() noexcept;

// What a call on an object of that home from the calling thread meets.
HomeAccess access_from_this_thread(const ApartmentHome& home) noexcept;

}  // namespace winemu
