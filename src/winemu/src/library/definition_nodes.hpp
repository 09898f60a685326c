// definition_nodes.hpp: what the readers of a stored definition (run settings, triggers) ask of
// its parsed nodes. The definition has passed the service's checks, so they only look things up.
#pragma once

#include <libxml/tree.h>

#include <string>
#include <string_view>

#include "library/task_xml.hpp"

namespace winemu {

struct FreeDocument {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

inline std::string_view name_of(const xmlNode* node) { return reinterpret_cast<const char*>(node->name); }

inline bool in_task_namespace(const xmlNode* node) {
    return node->type == XML_ELEMENT_NODE && node->ns &&
           std::string_view(reinterpret_cast<const char*>(node->ns->href)) == task_namespace;
}

// The element's text without the white space around it.
inline std::string text_of(const xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

}  // namespace winemu
