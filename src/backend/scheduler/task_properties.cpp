// task_properties.cpp: task_info and task_xml.
#include "scheduler/task_properties.hpp"

#include "scheduler/registered_task_reading.hpp"

namespace morvane::scheduler {

Result<TaskRecord, SchedulerError> task_info(SchedulerConnection& connection, std::string_view task_name) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    return read_task_record(*task.value().get());
}

Result<std::string, SchedulerError> task_xml(SchedulerConnection& connection, std::string_view task_name) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    return read_text_property(*task.value().get(), &IRegisteredTask::get_Xml, "get_Xml");
}

}  // namespace morvane::scheduler
