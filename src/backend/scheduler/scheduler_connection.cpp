// scheduler_connection.cpp: opening a SchedulerConnection step by step, undoing it on failure.
#include "scheduler/scheduler_connection.hpp"

#include <utility>

#include "scheduler/call_failure.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/to_bstr.hpp"

namespace morvane::scheduler {

// The locals are declared in the order of acquisition, so that an early return gives them back in
// reverse: path BSTR, service object, apartment. Each error is complete before that happens.
Result<SchedulerConnection, SchedulerError> SchedulerConnection::open() {
    Result<ApartmentEntry, SchedulerError> apartment = ApartmentEntry::enter_multithreaded();
    MORVANE_RETURN_IF_FAILED(apartment);
    return connect(std::move(apartment).value());
}

Result<SchedulerConnection, SchedulerError> SchedulerConnection::open_in_kept_apartment() {
    return connect(ApartmentEntry::none());
}

Result<SchedulerConnection, SchedulerError> SchedulerConnection::connect(ApartmentEntry apartment) {
    ComPtr<ITaskService> service;
    HRESULT outcome = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                       service.put_void());
    if (FAILED(outcome)) return Err{failed_call(outcome, "CoCreateInstance")};
    if (!service) return Err{call_without_object("CoCreateInstance")};

    outcome = service->Connect(empty_variant(), empty_variant(), empty_variant(), empty_variant());
    if (FAILED(outcome)) return Err{failed_call(outcome, "Connect")};

    UniqueBstr root_path = to_bstr("\\");
    ComPtr<ITaskFolder> root_folder;
    outcome = service->GetFolder(root_path.get(), root_folder.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetFolder")};
    if (!root_folder) return Err{call_without_object("GetFolder")};

    root_path.reset();
    return SchedulerConnection(std::move(apartment), std::move(service), std::move(root_folder));
}

}  // namespace morvane::scheduler
