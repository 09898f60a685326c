// scheduler_connection.cpp: opening a SchedulerConnection step by step, undoing it on failure.
#include "scheduler/scheduler_connection.hpp"

#include <utility>

#include "scheduler/call_failure.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/secret_bstr.hpp"
#include "scheduler/to_bstr.hpp"

namespace morvane::scheduler {
namespace {

UniqueBstr optional_bstr(const std::optional<std::string>& text) { return text ? to_bstr(*text) : UniqueBstr(); }

const ConnectionTarget this_computer;

}  // namespace

// The locals are declared in the order of acquisition, so that an early return gives them back in
// reverse: path BSTR, service object, apartment. Each error is complete before that happens.
Result<SchedulerConnection, SchedulerError> SchedulerConnection::open() {
    Result<ApartmentEntry, SchedulerError> apartment = ApartmentEntry::enter_multithreaded();
    MORVANE_RETURN_IF_FAILED(apartment);
    return connect(std::move(apartment).value(), this_computer);
}

Result<SchedulerConnection, SchedulerError> SchedulerConnection::open_in_kept_apartment() {
    return connect(ApartmentEntry::none(), this_computer);
}

Result<SchedulerConnection, SchedulerError> SchedulerConnection::open_in_kept_apartment(
    const ConnectionTarget& target) {
    return connect(ApartmentEntry::none(), target);
}

Result<SchedulerConnection, SchedulerError> SchedulerConnection::connect(ApartmentEntry apartment,
                                                                         const ConnectionTarget& target) {
    ComPtr<ITaskService> service;
    HRESULT outcome = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                       service.put_void());
    if (FAILED(outcome)) return Err{failed_call(outcome, "CoCreateInstance")};
    if (!service) return Err{call_without_object("CoCreateInstance")};

    {
        // The password's BSTR lives only for the call, and is wiped before it is freed.
        const UniqueBstr computer = optional_bstr(target.computer);
        const UniqueBstr user = optional_bstr(target.user);
        const UniqueBstr domain = optional_bstr(target.domain);
        SecretBstr password;
        if (target.password) {
            Result<SecretBstr, PlatformError> made = try_to_secret_bstr(target.password->view());
            if (!made) return Err{SchedulerError::from_platform(std::move(made).error(), "SysAllocStringLen")};
            password = std::move(made).value();
        }
        outcome = service->Connect(borrowed_text_variant(computer.get(), target.computer.has_value()),
                                   borrowed_text_variant(user.get(), target.user.has_value()),
                                   borrowed_text_variant(domain.get(), target.domain.has_value()),
                                   borrowed_text_variant(password.get().text, target.password.has_value()));
        if (FAILED(outcome)) return Err{failed_call(outcome, "Connect")};
    }

    UniqueBstr root_path = to_bstr("\\");
    ComPtr<ITaskFolder> root_folder;
    outcome = service->GetFolder(root_path.get(), root_folder.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetFolder")};
    if (!root_folder) return Err{call_without_object("GetFolder")};

    root_path.reset();
    return SchedulerConnection(std::move(apartment), std::move(service), std::move(root_folder));
}

}  // namespace morvane::scheduler
