// apartments.hpp: the calling thread's COM apartment, and the apartment an object was made in.
#pragma once

#include <cstdint>

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

// Where an object was made: no apartment, one thread's single-threaded apartment (from its first
// entry to its last leave: one `life`), or the multithreaded apartment (from the first thread's
// entry to the moment no thread is in it any more: one `life`).
struct ApartmentHome {
    enum class Kind { none, single_threaded, multithreaded };
    Kind kind = Kind::none;
    std::uint64_t life = 0;
    unsigned long long thread = 0;  // the single-threaded apartment's thread
};

// The apartment of the calling thread, as the home of an object it makes now.
ApartmentHome current_apartment() noexcept;

// What a call on an object of that home from the calling thread meets. A thread outside any
// apartment is taken into the multithreaded apartment while that exists (COM's implicit MTA);
// a thread in a single-threaded apartment is not (single_threaded_caller).
enum class HomeAccess { usable, ended, other_thread, single_threaded_caller, no_apartment };
HomeAccess access_from_this_thread(const ApartmentHome& home) noexcept;

}  // namespace winemu
