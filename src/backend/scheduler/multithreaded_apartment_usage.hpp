// multithreaded_apartment_usage.hpp: MultithreadedApartmentUsage, a hold that keeps the
// multithreaded COM apartment alive, and the test of whether the calling thread is in it.
#pragma once

#include "owners/unique_handle.hpp"
#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

// CoDecrementMTAUsage of a CO_MTA_USAGE_COOKIE, which this header knows as a void*. A failure
// leaves nothing to undo: the cookie is given back or it never was valid.
void give_back_mta_usage(void* cookie) noexcept;

// Pairs a successful CoIncrementMTAUsage with exactly one CoDecrementMTAUsage, on any thread.
// While it is held, the multithreaded apartment exists, and a thread that entered no apartment
// belongs to it (the implicit multithreaded apartment).
class MultithreadedApartmentUsage {
public:
    // Fails with the SchedulerError "CoIncrementMTAUsage".
    static Result<MultithreadedApartmentUsage, SchedulerError> keep();

    // Forgets the hold without giving it back (in a forked child, whose apartment is a copy).
    void forget() noexcept { (void)cookie_.detach(); }

private:
    explicit MultithreadedApartmentUsage(void* cookie) noexcept : cookie_(cookie) {}

    UniqueHandle<void*, &give_back_mta_usage> cookie_;
};

// True when the calling thread is in the multithreaded apartment, entered or implicitly.
bool thread_in_multithreaded_apartment() noexcept;

}  // namespace morvane::scheduler
