// schema_check.cpp: one walk of a definition's tree against the task schema's element rules.
#include "library/schema_check.hpp"

#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "library/task_schema.hpp"
#include "library/task_xml.hpp"

namespace winemu {
namespace {

/* === What the documentation leaves open, and the choices made ===
 * Windows documents the codes (SCHED_E_UNEXPECTEDNODE "The task XML contains an unexpected
 * node", SCHED_E_NAMESPACE "... an element or attribute from an unexpected namespace",
 * SCHED_E_INVALIDVALUE "... a value which is incorrectly formatted or out of range",
 * SCHED_E_MISSINGNODE "... is missing a required element or attribute", SCHED_E_TOO_MANY_NODES
 * "... contains too many nodes of the same type") but not which refusal gets which code, nor
 * the description of each. The codes follow their texts; the description keeps the form of the
 * refusals observed on Windows, "(line,column):Element:value". For an attribute (one the schema
 * does not define, a required one missing, a duplicate id, a Context that names no principal)
 * the attribute's name stands for the element's, at the position of its element: the texts of
 * the codes name attributes alongside elements. Text between the elements of an element that
 * holds elements is not checked: the documentation says nothing of how Windows treats it. */

struct TextFree {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, TextFree>;

std::string_view name_of(xmlNodePtr node) { return reinterpret_cast<const char*>(node->name); }

std::string_view namespace_of(xmlNodePtr node) {
    return node->ns && node->ns->href ? reinterpret_cast<const char*>(node->ns->href) : "";
}

std::string text_of(xmlNodePtr node) {
    const XmlText text(xmlNodeGetContent(node));
    return text ? std::string(reinterpret_cast<const char*>(text.get())) : std::string();
}

// The attribute's value, nullopt when the element has none of that name (in no namespace).
std::optional<std::string> attribute_of(xmlNodePtr node, const char* name) {
    const XmlText text(xmlGetNoNsProp(node, BAD_CAST name));
    if (!text) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(text.get()));
}

// The rules of a complex type and its base as one list: the base's children first.
struct Rules {
    const ComplexType& type;

    std::size_t size() const { return (type.base ? type.base->children.size() : 0) + type.children.size(); }
    const ChildRule& operator[](std::size_t index) const {
        const std::size_t inherited = type.base ? type.base->children.size() : 0;
        return index < inherited ? type.base->children[index] : type.children[index - inherited];
    }
    std::optional<std::size_t> find(std::string_view name) const {
        for (std::size_t index = 0; index < size(); ++index)
            if ((*this)[index].name == name) return index;
        return std::nullopt;
    }
};

// More than any complex type of the schema has (Settings has 22).
constexpr std::size_t most_rules = 32;

class SchemaWalk {
public:
    std::optional<SchemaRefusal> check(xmlNodePtr task) {
        if (auto refusal = element(task, task_type())) return refusal;
        // Principals may follow Actions (Task is an xs:all): the reference is checked at the end.
        if (context_holder_ &&
            std::find(principal_ids_.begin(), principal_ids_.end(), context_) == principal_ids_.end())
            return SchemaRefusal{SCHED_E_INVALIDVALUE, context_holder_, "Context", context_};
        return std::nullopt;
    }

private:
    // Attributes the schema does not define are refused; XML's own (xml:space, xml:lang) are
    // taken, as XML gives them to every element.
    static std::optional<SchemaRefusal> undefined_attribute(xmlNodePtr node, const ComplexType* type,
                                                            std::string_view simple_attribute) {
        for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
            const std::string name(reinterpret_cast<const char*>(attribute->name));
            if (attribute->ns) {
                const std::string_view uri =
                    attribute->ns->href ? reinterpret_cast<const char*>(attribute->ns->href) : "";
                if (uri == reinterpret_cast<const char*>(XML_XML_NAMESPACE)) continue;
                return SchemaRefusal{SCHED_E_NAMESPACE, node, name, std::string(uri)};
            }
            const bool defined = type ? (type->has_id && name == "id") || (type->has_context && name == "Context") ||
                                            (type->has_version && name == "version")
                                      : name == simple_attribute;
            if (!defined) return SchemaRefusal{SCHED_E_UNEXPECTEDNODE, node, name, {}};
        }
        return std::nullopt;
    }

    std::optional<SchemaRefusal> attributes(xmlNodePtr node, const ComplexType& type) {
        if (auto refusal = undefined_attribute(node, &type, {})) return refusal;
        if (type.has_id) {
            if (auto id = attribute_of(node, "id")) {
                // xs:unique over the ids of principals, triggers and actions.
                if (std::find(ids_.begin(), ids_.end(), *id) != ids_.end())
                    return SchemaRefusal{SCHED_E_INVALIDVALUE, node, "id", *id};
                if (type.is_principal) principal_ids_.push_back(*id);
                ids_.push_back(std::move(*id));
            }
        }
        if (type.has_context) {
            if (auto context = attribute_of(node, "Context")) {
                context_holder_ = node;
                context_ = std::move(*context);
            }
        }
        return std::nullopt;
    }

    std::optional<SchemaRefusal> simple_value(xmlNodePtr node, const ChildRule& rule) {
        if (auto refusal = undefined_attribute(node, nullptr, rule.attribute)) return refusal;
        if (!rule.attribute.empty() && !xmlHasNsProp(node, BAD_CAST std::string(rule.attribute).c_str(), nullptr))
            return SchemaRefusal{SCHED_E_MISSINGNODE, node, std::string(rule.attribute), {}};
        // An element inside a value makes it no value: refused without reading the subtree
        // (whose text, at every level of such nesting, would be copied again).
        for (xmlNodePtr inner = node->children; inner; inner = inner->next)
            if (inner->type == XML_ELEMENT_NODE) return SchemaRefusal{SCHED_E_INVALIDVALUE, node, std::string(rule.name), {}};
        std::string text = text_of(node);
        if (!is_value_of(rule.value, text))
            return SchemaRefusal{SCHED_E_INVALIDVALUE, node, std::string(rule.name), std::move(text)};
        return std::nullopt;
    }

    std::optional<SchemaRefusal> element(xmlNodePtr node, const ComplexType& type) {
        if (type.anything) return std::nullopt;
        if (auto refusal = attributes(node, type)) return refusal;
        const Rules rules{type};
        std::array<std::uint8_t, most_rules> counts{};
        std::size_t total = 0;
        std::uint8_t rank = 0;
        std::optional<std::size_t> chosen;
        for (xmlNodePtr child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            const std::string name(name_of(child));
            const auto index = rules.find(name);
            if (!index) return SchemaRefusal{SCHED_E_UNEXPECTEDNODE, child, name, {}};
            if (namespace_of(child) != task_namespace)
                return SchemaRefusal{SCHED_E_NAMESPACE, child, name, std::string(namespace_of(child))};
            const ChildRule& rule = rules[*index];
            if (type.most_children && ++total > type.most_children)
                return SchemaRefusal{SCHED_E_TOO_MANY_NODES, child, name, {}};
            if (counts[*index] >= rule.most) return SchemaRefusal{SCHED_E_TOO_MANY_NODES, child, name, {}};
            ++counts[*index];
            if (rule.rank < rank) return SchemaRefusal{SCHED_E_UNEXPECTEDNODE, child, name, {}};
            rank = rule.rank;
            if (rule.choice) {
                if (chosen && *chosen != *index) return SchemaRefusal{SCHED_E_UNEXPECTEDNODE, child, name, {}};
                chosen = index;
            }
            auto refusal = rule.complex ? element(child, *rule.complex) : simple_value(child, rule);
            if (refusal) return refusal;
        }
        return missing(node, rules, counts, total, chosen.has_value());
    }

    static std::optional<SchemaRefusal> missing(xmlNodePtr node, const Rules& rules,
                                                const std::array<std::uint8_t, most_rules>& counts, std::size_t total,
                                                bool chose) {
        for (std::size_t index = 0; index < rules.size(); ++index) {
            const ChildRule& rule = rules[index];
            if (counts[index] < rule.fewest) return SchemaRefusal{SCHED_E_MISSINGNODE, node, std::string(rule.name), {}};
            // A required choice with no alternative present: named by its first alternative.
            if (rule.choice && !chose) return SchemaRefusal{SCHED_E_MISSINGNODE, node, std::string(rule.name), {}};
        }
        if (total < rules.type.fewest_children)
            return SchemaRefusal{SCHED_E_MISSINGNODE, node, std::string(name_of(node)), {}};
        return std::nullopt;
    }

    std::vector<std::string> ids_;
    std::vector<std::string> principal_ids_;
    xmlNodePtr context_holder_ = nullptr;
    std::string context_;
};

}  // namespace

std::optional<SchemaRefusal> check_against_schema(xmlNodePtr task) { return SchemaWalk{}.check(task); }

}  // namespace winemu
