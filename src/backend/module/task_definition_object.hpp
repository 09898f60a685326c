// task_definition_object.hpp: the task model of a registered definition, made by the package's
// module morvane.definition.
#pragma once

#include <string>

#include "module/call_frame.hpp"

namespace morvane::module {

// morvane.definition.TaskDefinition.from_xml(xml). The module is imported through sys.modules at
// each call (a dictionary lookup once it is loaded, and a module replaced there is the one used);
// a failing import, a missing class and what from_xml raises are the error.
ObjectResult task_definition_object(const std::string& xml);

}  // namespace morvane::module
