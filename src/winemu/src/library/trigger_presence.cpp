// trigger_presence.cpp: whether a definition has any trigger that can start its task.
#include "library/trigger_presence.hpp"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <string>

#include "library/task_xml.hpp"

namespace winemu {
namespace {

bool is_task_element(xmlNodePtr node, std::string_view name) {
    return node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
           std::string_view(reinterpret_cast<const char*>(node->ns->href)) == task_namespace &&
           std::string_view(reinterpret_cast<const char*>(node->name)) == name;
}

// A trigger is enabled unless its Enabled says false (the schema's default is true).
bool is_enabled(xmlNodePtr trigger) {
    for (xmlNodePtr child = trigger->children; child; child = child->next) {
        if (!is_task_element(child, "Enabled")) continue;
        const std::unique_ptr<xmlChar, decltype(xmlFree)> text(xmlNodeGetContent(child), xmlFree);
        std::string_view value = text ? reinterpret_cast<const char*>(text.get()) : "";
        const std::size_t first = value.find_first_not_of(" \t\r\n");
        value = first == std::string_view::npos ? std::string_view() : value.substr(first);
        value = value.substr(0, value.find_last_not_of(" \t\r\n") + 1);
        return value != "false" && value != "0";
    }
    return true;
}

}  // namespace

bool has_enabled_trigger(std::string_view definition) {
    const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(
        xmlReadMemory(definition.data(), static_cast<int>(definition.size()), nullptr, nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC),
        xmlFreeDoc);
    const xmlNodePtr task = document ? xmlDocGetRootElement(document.get()) : nullptr;
    if (!task) return false;
    for (xmlNodePtr triggers = task->children; triggers; triggers = triggers->next) {
        if (!is_task_element(triggers, "Triggers")) continue;
        for (xmlNodePtr trigger = triggers->children; trigger; trigger = trigger->next)
            if (trigger->type == XML_ELEMENT_NODE && is_enabled(trigger)) return true;
    }
    return false;
}

}  // namespace winemu
