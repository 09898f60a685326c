// task_definition_object.cpp: task_definition_object.
#include "module/task_definition_object.hpp"

#include "module/interned_names.hpp"
#include "module/operation_results.hpp"

namespace morvane::module {

ObjectResult task_definition_object(const std::string& xml) {
    ObjectResult text = definition_text(xml);
    MORVANE_RETURN_IF_FAILED(text);
    PyRef module = PyRef::steal(PyImport_Import(name_definition_module()));
    if (!module) return Err{fetch_error()};
    PyRef model_class = PyRef::steal(PyObject_GetAttr(module.get(), name_task_definition()));
    if (!model_class) return Err{fetch_error()};
    PyRef model = PyRef::steal(PyObject_CallMethodOneArg(model_class.get(), name_from_xml(), text.value().get()));
    if (!model) return Err{fetch_error()};
    return model;
}

}  // namespace morvane::module
