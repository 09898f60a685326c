// operation_results.cpp: the result makers of the task operations.
#include "module/operation_results.hpp"

#include "module/local_datetime.hpp"
#include "module/running_task_objects.hpp"
#include "module/task_info_objects.hpp"

namespace morvane::module {
namespace {

PyRef new_list(std::size_t size) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(size)));
    if (!list) throw InternalFailure("could not make a list: " + fetch_error().describe());
    return list;
}

}  // namespace

ObjectResult none_result() { return PyRef::borrow(Py_None); }

ObjectResult bool_result(bool answer) { return PyRef::borrow(answer ? Py_True : Py_False); }

ObjectResult task_info_list(const std::vector<scheduler::TaskRecord>& records) {
    PyRef list = new_list(records.size());
    LocalDatetimeMaker times;
    for (std::size_t index = 0; index < records.size(); ++index) {
        ObjectResult info = make_task_info(records[index], times);
        if (!info) return info;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(index), std::move(info).value().release());
    }
    return list;
}

ObjectResult task_info_object(const scheduler::TaskDetails& details) {
    ObjectResult text = definition_text(details.xml);
    MORVANE_RETURN_IF_FAILED(text);
    Result<PyRef, PythonError> principal = registered_principal(text.value().get());
    MORVANE_RETURN_IF_FAILED(principal);
    LocalDatetimeMaker times;
    return make_task_info(details.record, times, principal.value().get());
}

ObjectResult definition_text(const std::string& xml) {
    PyRef made = PyRef::steal(PyUnicode_FromStringAndSize(xml.data(), static_cast<Py_ssize_t>(xml.size())));
    if (!made) return Err{fetch_error()};  // MemoryError for a definition too large to hold twice
    return made;
}

ObjectResult text_result(const std::string& text) { return definition_text(text); }

ObjectResult datetime_list(const std::vector<long long>& instants) {
    PyRef list = new_list(instants.size());
    LocalDatetimeMaker maker;
    for (std::size_t index = 0; index < instants.size(); ++index)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(index), maker.make_at(instants[index]).release());
    return list;
}

ObjectResult text_list(const std::vector<std::string>& texts) {
    PyRef list = new_list(texts.size());
    for (std::size_t index = 0; index < texts.size(); ++index) {
        ObjectResult text = definition_text(texts[index]);
        if (!text) return text;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(index), std::move(text).value().release());
    }
    return list;
}

ObjectResult running_task_object(const scheduler::InstanceRecord& record, PyObject* origin) {
    return make_running_task(record, origin);
}

ObjectResult running_task_list(const std::vector<scheduler::InstanceRecord>& records, PyObject* origin) {
    PyRef list = new_list(records.size());
    for (std::size_t index = 0; index < records.size(); ++index) {
        ObjectResult instance = make_running_task(records[index], origin);
        if (!instance) return instance;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(index), std::move(instance).value().release());
    }
    return list;
}

ObjectResult optional_running_task(const std::optional<scheduler::InstanceRecord>& record, PyObject* origin) {
    if (!record) return PyRef::borrow(Py_None);
    return make_running_task(*record, origin);
}

}  // namespace morvane::module
