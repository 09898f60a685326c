// com_runtime.hpp: what the floors below the COM runtime need of it, named here so that they never
// include com/: com/ hands its functions over when winemu loads.
//
// The call frame (control/) checks each method call against the apartment its object was made in,
// records the thread's apartment entries in the journal, discards the thread's error object for
// calls that do, and leaves the error object that an injected fault asks for. All of that is the
// COM runtime's state; this table is the one way down to it.
#pragma once

#include <cstdint>
#include <string_view>

#include <winemu/types.h>

namespace winemu {

// Where an object was made: no apartment, one thread's single-threaded apartment (from its first
// entry to its last leave: one `life`), or the multithreaded apartment (from the first thread's
// entry to the moment no thread is in it any more: one `life`).
struct ApartmentHome {
    enum class Kind { none, single_threaded, multithreaded };
    Kind kind = Kind::none;
    std::uint64_t life = 0;
    unsigned long long thread = 0;  // the single-threaded apartment's thread
};

// What a call on an object of that home from the calling thread meets. A thread outside any
// apartment is taken into the multithreaded apartment while that exists (COM's implicit MTA);
// a thread in a single-threaded apartment is not (single_threaded_caller).
enum class HomeAccess { usable, ended, other_thread, single_threaded_caller, no_apartment };

struct ComRuntime {
    // The apartment of the calling thread, as the home of an object it makes now.
    ApartmentHome (*current_apartment)() noexcept;
    HomeAccess (*access_from_this_thread)(const ApartmentHome& home) noexcept;
    // The calling thread's unbalanced CoInitializeEx entries (0 outside any apartment).
    long long (*thread_apartment_entries)() noexcept;
    // Releases the thread's current error object, if it has one.
    void (*discard_thread_error)() noexcept;
    // Leaves a restricted error object with the code's system text and that restricted description.
    void (*leave_restricted_error)(HRESULT error, std::u16string_view restricted_description) noexcept;
    // Leaves a plain IErrorInfo with that description.
    void (*leave_plain_error)(std::u16string_view description) noexcept;
};

// Called once by com/ while winemu loads, before any platform call can be made.
void provide_com_runtime(const ComRuntime& runtime) noexcept;
const ComRuntime& com_runtime() noexcept;

}  // namespace winemu
