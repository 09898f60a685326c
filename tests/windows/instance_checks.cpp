// instance_checks.cpp: starting a task and listing running instances on Wine's service.
//
// Wine's taskschd answers E_NOTIMPL from RunEx, ITaskService::GetRunningTasks and
// IRegisteredTask::GetInstances (its service runs no task): each operation gets as far as that
// call through the real interfaces, the parameters' array made and given back by Wine's OleAut32.
#include "instance_checks.hpp"

#include <objbase.h>

#include <optional>
#include <string>
#include <vector>

#include "scheduler/own_connection.hpp"
#include "scheduler/running_instances.hpp"
#include "scheduler/task_operations.hpp"

namespace {

namespace client = morvane::scheduler;

constexpr std::string_view instance_task = "MorvaneWineInstances";
constexpr HRESULT not_implemented = static_cast<HRESULT>(0x80004001u);

constexpr std::string_view definition =
    R"(<?xml version="1.0"?><Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">)"
    R"(<Actions><Exec><Command>cmd.exe</Command><Arguments>/c exit $(Arg0)</Arguments></Exec></Actions></Task>)";

template <class R>
bool stops_at(const R& result, std::string_view operation) {
    return !result.ok() && result.error().operation == operation && result.error().code == not_implemented;
}

template <class R>
std::string seen(const R& result) {
    if (result.ok()) return "success";
    return std::string(result.error().operation) + " 0x" + std::to_string(static_cast<unsigned long>(result.error().code)) +
           " \"" + result.error().message + "\"";
}

}  // namespace

void check_instances(CheckReport& report) {
    auto registered = client::with_own_connection(client::register_xml, instance_task, definition);
    report.check(registered.ok(), "a task to start is registered", seen(registered));

    const std::optional<std::vector<std::string>> parameters{{"3", "unused"}};
    auto started = client::with_own_connection(client::start_task, instance_task, parameters);
    report.check(stops_at(started, "RunEx"), "start_task with two parameters stops at RunEx with E_NOTIMPL", seen(started));

    auto all = client::with_own_connection(client::running_tasks, std::nullopt, false);
    report.check(stops_at(all, "GetRunningTasks"), "running_tasks of every task stops at GetRunningTasks with E_NOTIMPL",
                 seen(all));
    auto one = client::with_own_connection(client::running_tasks, std::optional<std::string_view>(instance_task), false);
    report.check(stops_at(one, "GetInstances"), "running_tasks of one task stops at GetInstances with E_NOTIMPL",
                 seen(one));
    auto stopped = client::with_own_connection(client::stop_running_task, instance_task,
                                               std::string_view("{00000000-0000-4000-8000-000000000000}"));
    report.check(stops_at(stopped, "GetInstances"), "stop_running_task stops at GetInstances with E_NOTIMPL",
                 seen(stopped));

    auto deleted = client::with_own_connection(client::delete_task, instance_task);
    report.check(deleted.ok(), "the started task is deleted again", seen(deleted));
}
