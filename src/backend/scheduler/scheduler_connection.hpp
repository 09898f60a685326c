// scheduler_connection.hpp: SchedulerConnection, one open connection to the Task Scheduler service.
#pragma once

#include <utility>

#include "runtime/result.hpp"
#include "scheduler/apartment.hpp"
#include "scheduler/com_ptr.hpp"
#include "scheduler/connection_target.hpp"
#include "scheduler/platform.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

// The root task folder of the service (this computer's, or the target's), the connected service object, and the thread's
// apartment entry, for any number of task operations, one after another, on the thread that
// opened it (or on any thread of the kept multithreaded apartment: see open_in_kept_apartment).
// Destroying it closes it: the
// root folder is released, then the service object, then the apartment is left if opening
// entered it.
class SchedulerConnection {
public:
    // Enters the multithreaded apartment, creates the service object in process, connects it to
    // the local service as the caller, and opens the folder "\". On failure every step taken is
    // undone (after the error's text was made) before it returns.
    static Result<SchedulerConnection, SchedulerError> open();
    // The same without entering an apartment: for a thread of the multithreaded apartment that
    // someone else keeps alive (CoIncrementMTAUsage). The connection may then be used, and closed,
    // on any thread of that apartment.
    static Result<SchedulerConnection, SchedulerError> open_in_kept_apartment();
    // The same, connected to the target's computer with its credentials.
    static Result<SchedulerConnection, SchedulerError> open_in_kept_apartment(const ConnectionTarget& target);

    SchedulerConnection(SchedulerConnection&&) noexcept = default;
    SchedulerConnection& operator=(SchedulerConnection&&) = delete;
    SchedulerConnection(const SchedulerConnection&) = delete;
    SchedulerConnection& operator=(const SchedulerConnection&) = delete;
    ~SchedulerConnection() = default;

    // Borrowed for the life of the connection; never null.
    ITaskFolder* root_folder() const noexcept { return root_folder_.get(); }
    ITaskService* service() const noexcept { return service_.get(); }

private:
    static Result<SchedulerConnection, SchedulerError> connect(ApartmentEntry apartment,
                                                               const ConnectionTarget& target);

    SchedulerConnection(ApartmentEntry apartment, ComPtr<ITaskService> service,
                        ComPtr<ITaskFolder> root_folder) noexcept
        : apartment_(std::move(apartment)), service_(std::move(service)), root_folder_(std::move(root_folder)) {}

    // Members are destroyed in reverse order: this order is the order of closing, reversed.
    ApartmentEntry apartment_;
    ComPtr<ITaskService> service_;
    ComPtr<ITaskFolder> root_folder_;
};

}  // namespace morvane::scheduler
