// multithreaded_apartment_usage.cpp: CoIncrementMTAUsage and CoDecrementMTAUsage, paired.
#include "scheduler/multithreaded_apartment_usage.hpp"

#include "scheduler/call_failure.hpp"
#include "scheduler/platform.hpp"

namespace morvane::scheduler {

Result<MultithreadedApartmentUsage, SchedulerError> MultithreadedApartmentUsage::keep() {
    CO_MTA_USAGE_COOKIE cookie = nullptr;
    const HRESULT outcome = CoIncrementMTAUsage(&cookie);
    if (FAILED(outcome)) return Err{failed_call(outcome, "CoIncrementMTAUsage")};
    return MultithreadedApartmentUsage(static_cast<void*>(cookie));
}

void give_back_mta_usage(void* cookie) noexcept {
    (void)CoDecrementMTAUsage(static_cast<CO_MTA_USAGE_COOKIE>(cookie));
}

bool thread_in_multithreaded_apartment() noexcept {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
}

}  // namespace morvane::scheduler
