// task_properties.cpp: task_info and task_xml.
#include "scheduler/task_properties.hpp"

#include <utility>

#include "scheduler/registered_task_reading.hpp"

namespace morvane::scheduler {

Result<TaskDetails, SchedulerError> task_info(SchedulerConnection& connection, std::string_view task_name) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    IRegisteredTask& registered = *task.value().get();
    Result<TaskRecord, SchedulerError> record = read_task_record(registered);
    MORVANE_RETURN_IF_FAILED(record);
    Result<std::string, SchedulerError> xml = read_text_property(registered, &IRegisteredTask::get_Xml, "get_Xml");
    MORVANE_RETURN_IF_FAILED(xml);
    return TaskDetails{.record = std::move(record).value(), .xml = std::move(xml).value()};
}

Result<std::string, SchedulerError> task_xml(SchedulerConnection& connection, std::string_view task_name) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    return read_text_property(*task.value().get(), &IRegisteredTask::get_Xml, "get_Xml");
}

}  // namespace morvane::scheduler
