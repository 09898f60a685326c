// schema_check.hpp: checking a parsed definition against the task schema, in one walk of its tree.
#pragma once

#include <optional>
#include <string>

#include <winemu/types.h>

struct _xmlNode;

namespace winemu {

// The first place where the definition leaves the schema: the code Windows gives, the node the
// description's position is that of, and the "Element:value" part of the description.
struct SchemaRefusal {
    HRESULT code;
    _xmlNode* node;
    std::string name;
    std::string value;
};

// Checks the children of the root element `task` (already known to be Task in the task
// namespace), in document order, against the rules of task_schema.hpp:
// - an element the schema does not allow there, or one out of its sequence's order, or a second
//   of a required choice, or an attribute the schema does not define: SCHED_E_UNEXPECTEDNODE;
// - an allowed name, or an attribute, in another namespace: SCHED_E_NAMESPACE, with the namespace;
// - more of an element than its maxOccurs (or of a group than the group's): SCHED_E_TOO_MANY_NODES;
// - a value not of its element's type, or an id used twice, or a Context naming no principal's id:
//   SCHED_E_INVALIDVALUE, with the value;
// - a required element missing: SCHED_E_MISSINGNODE, at its parent, naming the missing element
//   (an empty Actions names Actions itself); a required attribute missing, at its element.
// Each element is visited once and each value read once: time linear in the document's size.
std::optional<SchemaRefusal> check_against_schema(_xmlNode* task);

}  // namespace winemu
