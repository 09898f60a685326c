// apartment.hpp: ApartmentEntry, the calling thread's entry into the multithreaded COM apartment.
#pragma once

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

// Pairs a successful CoInitializeEx with exactly one CoUninitialize on the same thread. An entry
// that found the thread in a single-threaded apartment owns nothing and leaves nothing.
class ApartmentEntry {
public:
    // CoInitializeEx(COINIT_MULTITHREADED). Any success (S_OK, S_FALSE, ...) is owned;
    // RPC_E_CHANGED_MODE (the thread lives in a single-threaded apartment) is not a failure and
    // owns nothing; any other failure is the SchedulerError "CoInitializeEx".
    static Result<ApartmentEntry, SchedulerError> enter_multithreaded();
    // No entry: for a thread that uses an apartment someone else keeps alive.
    static ApartmentEntry none() noexcept { return ApartmentEntry(false); }

    ApartmentEntry(ApartmentEntry&& other) noexcept;
    ApartmentEntry& operator=(ApartmentEntry&&) = delete;
    ApartmentEntry(const ApartmentEntry&) = delete;
    ApartmentEntry& operator=(const ApartmentEntry&) = delete;
    ~ApartmentEntry();

private:
    explicit ApartmentEntry(bool owns) noexcept : owns_(owns) {}

    bool owns_;
};

}  // namespace morvane::scheduler
