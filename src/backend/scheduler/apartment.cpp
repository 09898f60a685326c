// apartment.cpp: entering the multithreaded apartment and leaving it again.
#include "scheduler/apartment.hpp"

#include <utility>

#include "scheduler/platform.hpp"
#include "scheduler/platform_error.hpp"

namespace morvane::scheduler {

Result<ApartmentEntry, SchedulerError> ApartmentEntry::enter_multithreaded() {
    const HRESULT outcome = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(outcome)) return ApartmentEntry(true);

    PlatformError failure = PlatformError::from_hresult(outcome);
    if (failure.code() == RPC_E_CHANGED_MODE) return ApartmentEntry(false);  // drops the detail
    return Err{SchedulerError::from_platform(std::move(failure), "CoInitializeEx")};
}

ApartmentEntry::ApartmentEntry(ApartmentEntry&& other) noexcept : owns_(std::exchange(other.owns_, false)) {}

ApartmentEntry::~ApartmentEntry() {
    if (owns_) CoUninitialize();
}

}  // namespace morvane::scheduler
