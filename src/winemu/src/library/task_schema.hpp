// task_schema.hpp: the task schema as data: which elements each element holds, how often, in
// which order, and what value each simple element takes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "library/schema_values.hpp"

namespace winemu {

struct ComplexType;

// One child element that a complex type allows.
struct ChildRule {
    std::string_view name;
    const ComplexType* complex;  // what it holds when it holds elements; null for a simple value
    ValueType value;             // what it holds otherwise
    std::uint8_t fewest;         // minOccurs
    std::uint8_t most;           // maxOccurs
    // Its place in an xs:sequence: a child may not follow one of a higher rank. Children of one
    // rank come in any order (all those of an xs:all share rank 0).
    std::uint8_t rank;
    // Nonzero for the alternatives of a required xs:choice: exactly one of them appears.
    std::uint8_t choice;
    // The one attribute a simple element carries, required where it is allowed (Value's name).
    std::string_view attribute = {};
};

// An element that holds elements (or, for dataType, anything at all).
struct ComplexType {
    std::span<const ChildRule> children;
    const ComplexType* base = nullptr;  // whose children come first (triggerBaseType's)
    std::uint8_t fewest_children = 0;   // over all children: a group's minOccurs (Actions: 1)
    std::uint8_t most_children = 0;     // over all children: a group's maxOccurs; 0 when unbounded
    bool anything = false;              // dataType: any content, not checked
    bool has_id = false;                // carries an optional xs:ID attribute "id"
    bool is_principal = false;          // its id is a key that an action's Context names
    bool has_context = false;           // carries the xs:IDREF attribute "Context"
    bool has_version = false;           // carries the attribute "version" (Task)
};

// The type of the root element, Task.
const ComplexType& task_type();

}  // namespace winemu
