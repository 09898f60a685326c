// running_task_objects.cpp: make_running_task, with RunningTask kept in a OnceCell.
#include "module/running_task_objects.hpp"

#include "module/once_cell.hpp"
#include "module/task_info_objects.hpp"

namespace morvane::module {
namespace {

constinit OnceCell running_task_class;

}  // namespace

Result<PyRef, PythonError> make_running_task(const scheduler::InstanceRecord& record, PyObject* origin) {
    PyObject* instance_class =
        running_task_class.get([] { return package_attribute("morvane.running_instance", "RunningTask"); });
    PyRef guid = make_text(record.instance_guid);
    PyRef path = make_text(record.path);
    PyRef name = make_text(record.name);
    PyRef action = make_text(record.current_action);
    PyRef pid = make_integer(record.pid);
    PyObject* arguments[] = {nullptr,  guid.get(), path.get(), name.get(), action.get(), pid.get(),
                             task_state_member(record.state), origin};
    return call_positionally(instance_class, arguments + 1, 7);
}

}  // namespace morvane::module
