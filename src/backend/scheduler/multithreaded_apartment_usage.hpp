// multithreaded_apartment_usage.hpp: MultithreadedApartmentUsage, a hold that keeps the
// multithreaded COM apartment alive, and the test of whether the calling thread is in it.
#pragma once

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

// Pairs a successful CoIncrementMTAUsage with exactly one CoDecrementMTAUsage, on any thread.
// While it is held, the multithreaded apartment exists, and a thread that entered no apartment
// belongs to it (the implicit multithreaded apartment).
class MultithreadedApartmentUsage {
public:
    // Fails with the SchedulerError "CoIncrementMTAUsage".
    static Result<MultithreadedApartmentUsage, SchedulerError> keep();

    MultithreadedApartmentUsage(MultithreadedApartmentUsage&& other) noexcept;
    MultithreadedApartmentUsage& operator=(MultithreadedApartmentUsage&&) = delete;
    MultithreadedApartmentUsage(const MultithreadedApartmentUsage&) = delete;
    MultithreadedApartmentUsage& operator=(const MultithreadedApartmentUsage&) = delete;
    ~MultithreadedApartmentUsage();

    // Forgets the hold without giving it back (in a forked child, whose apartment is a copy).
    void forget() noexcept { cookie_ = nullptr; }

private:
    explicit MultithreadedApartmentUsage(void* cookie) noexcept : cookie_(cookie) {}

    void* cookie_;  // the CO_MTA_USAGE_COOKIE, a handle
};

// True when the calling thread is in the multithreaded apartment, entered or implicitly.
bool thread_in_multithreaded_apartment() noexcept;

}  // namespace morvane::scheduler
