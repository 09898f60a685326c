// run_order.hpp: what the caller of RunEx hands to the runner, as the runner's arguments.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "library/task_xml.hpp"

namespace winemu {

struct RunOrder {
    std::string library;
    std::string task;          // the task's path, UTF-8, "\Folder\Name"
    std::uint32_t run = 0;     // the run's number: its lock and its records
    std::string instance;      // the run's instance GUID, written into each of its records
    std::string account;       // who the run runs as, written into each of its records
    off_t first_record = 0;    // where the outcome of the caller's record of the first action is
    bool queued = false;       // waits for the task's earlier runs to end (MultipleInstancesPolicy Queue)
    double time_limit = 0;     // seconds for the run's actions, from the first one's start; 0 for none
    std::vector<ExecAction> actions;
};

// The order as arguments after the runner's program; and back.
std::vector<std::string> run_order_arguments(const RunOrder& order);
std::optional<RunOrder> run_order_from(int argc, const char* const* argv);

}  // namespace winemu
