// task_xml.cpp: checking a task definition as the service does, and reading, from the one parse,
// what running it and its run times need.
#include "library/task_xml.hpp"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/SAX2.h>
#include <libxml/tree.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "library/schema_values.hpp"
#include "library/task_limits.hpp"
#include "base/text_units.hpp"
#include "base/utf.hpp"
#include "library/schema_check.hpp"
#include "library/trigger_reading.hpp"
#include "library/xml_prescan.hpp"

namespace winemu {
namespace {

using Checked = std::variant<TaskDefinition, XmlRefusal>;

struct ContextFree {
    void operator()(xmlParserCtxtPtr context) const noexcept {
        if (context->myDoc) xmlFreeDoc(context->myDoc);
        context->myDoc = nullptr;
        xmlFreeParserCtxt(context);
    }
};
using ParserContext = std::unique_ptr<xmlParserCtxt, ContextFree>;

struct TextFree {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, TextFree>;

std::u16string to_u16(std::string_view text) { return utf16_from_utf8_lossy(text); }

std::u16string position_text(long line, long column) {
    return to_u16("(" + std::to_string(line) + "," + std::to_string(column) + ")");
}

XmlRefusal malformed(long line, long column, std::string_view message) {
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.remove_suffix(1);
    return {SCHED_E_MALFORMEDXML, position_text(line, column) + u"::ERROR: " + to_u16(message)};
}

// ---- where each element ends its start tag ------------------------------------------------
// libxml2 keeps a line per node but no column; the start-tag hook stores the column just past
// the start tag (where the element's value begins) in the node's application field.

void start_element_recording_column(void* context, const xmlChar* localname, const xmlChar* prefix,
                                    const xmlChar* uri, int namespace_count, const xmlChar** namespaces,
                                    int attribute_count, int defaulted_count, const xmlChar** attributes) {
    xmlSAX2StartElementNs(context, localname, prefix, uri, namespace_count, namespaces, attribute_count,
                          defaulted_count, attributes);
    const auto parser = static_cast<xmlParserCtxtPtr>(context);
    if (parser->node && parser->input) {
        const std::intptr_t value_column = parser->input->col + 1;  // input is at the tag's '>'
        parser->node->_private = reinterpret_cast<void*>(value_column);
    }
}

// Task Scheduler's reader prohibits document type declarations (and with them entities).
void refuse_document_type(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    const auto parser = static_cast<xmlParserCtxtPtr>(context);
    auto* first = static_cast<std::optional<XmlRefusal>*>(parser->_private);
    if (first && !first->has_value())
        *first = malformed(parser->input ? parser->input->line : 1, parser->input ? parser->input->col : 1,
                           "DTD is prohibited");
    xmlStopParser(parser);
}

// libxml2 2.12 made the structured error handler take a const error.
#if LIBXML_VERSION >= 21200
using StructuredError = const xmlError*;
#else
using StructuredError = xmlErrorPtr;
#endif

// The first error refuses the document: the parser stops there rather than read on for nothing.
void keep_first_error(void* context, StructuredError error) {
    const auto parser = static_cast<xmlParserCtxtPtr>(context);
    auto* first = static_cast<std::optional<XmlRefusal>*>(parser->_private);
    if (!first || first->has_value() || !error || error->level < XML_ERR_ERROR) return;
    *first = malformed(error->line, error->int2, error->message ? error->message : "");
    xmlStopParser(parser);
}

std::u16string where(xmlNodePtr node) {
    return position_text(xmlGetLineNo(node), reinterpret_cast<std::intptr_t>(node->_private));
}

XmlRefusal refuse(HRESULT code, xmlNodePtr node, std::string_view name, std::string_view value = {}) {
    return {code, where(node) + u":" + to_u16(name) + u":" + to_u16(value)};
}

// ---- the XML declaration ---------------------------------------------------------------------

// The text arrives as UTF-16 whatever its declaration says; Windows refuses a declaration that
// names another encoding rather than switch to it, and so does this (libxml2 would switch).
std::optional<XmlRefusal> check_declared_encoding(std::string_view xml) {
    if (xml.substr(0, 5) != "<?xml") return std::nullopt;
    const std::size_t end = xml.find("?>");
    if (end == std::string_view::npos) return std::nullopt;  // libxml2 reports the broken declaration
    const std::string_view declaration = xml.substr(0, end);
    const std::size_t key = declaration.find("encoding");
    if (key == std::string_view::npos) return std::nullopt;
    const std::size_t quote = declaration.find_first_of("\"'", key);
    if (quote == std::string_view::npos) return std::nullopt;
    const std::size_t closing = declaration.find(declaration[quote], quote + 1);
    if (closing == std::string_view::npos) return std::nullopt;
    const std::string_view encoding = declaration.substr(quote + 1, closing - quote - 1);
    if (equal_ignoring_ascii_case(encoding, "UTF-16")) return std::nullopt;
    long line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (xml[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    }
    // Two columns past the declaration's "?>": where Windows reports it ("(1,40)" for the usual
    // 38-character declaration).
    const long column = static_cast<long>(end + 2 - line_start) + 2;
    return malformed(line, column, "switch from current encoding to specified encoding not supported");
}

// ---- the document ----------------------------------------------------------------------------

bool in_task_namespace(xmlNodePtr node) {
    return node->ns && node->ns->href && std::string_view(reinterpret_cast<const char*>(node->ns->href)) == task_namespace;
}

std::string_view name_of(xmlNodePtr node) { return reinterpret_cast<const char*>(node->name); }

bool is_element(xmlNodePtr node) { return node->type == XML_ELEMENT_NODE; }

std::string text_of(xmlNodePtr node) {
    const XmlText text(xmlNodeGetContent(node));
    return text ? std::string(reinterpret_cast<const char*>(text.get())) : std::string();
}

xmlNodePtr child_named(xmlNodePtr parent, std::string_view name) {
    for (xmlNodePtr child = parent->children; child; child = child->next)
        if (is_element(child) && in_task_namespace(child) && name_of(child) == name) return child;
    return nullptr;
}

// What running needs of the actions, read once the schema has accepted them.
void read_actions(xmlNodePtr task, TaskDefinition& definition) {
    const xmlNodePtr actions = child_named(task, "Actions");
    for (xmlNodePtr action = actions ? actions->children : nullptr; action; action = action->next) {
        if (!is_element(action) || name_of(action) != "Exec") continue;
        ExecAction exec{text_of(child_named(action, "Command")), {}, {}};
        if (const xmlNodePtr arguments = child_named(action, "Arguments")) exec.arguments = text_of(arguments);
        if (const xmlNodePtr directory = child_named(action, "WorkingDirectory"))
            exec.working_directory = text_of(directory);
        definition.exec_actions.push_back(std::move(exec));
    }
}

// A definition larger than the service keeps. Windows documents no bound on a definition's size,
// so the answer is the one Windows gives for data over a size limit, ERROR_FILE_TOO_LARGE:
// true of what happened, and unlike a malformed-XML answer it does not send anyone looking for an
// error in the XML.
XmlRefusal too_large(std::size_t size) {
    return {HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
            to_u16("(1,1)::ERROR: the definition takes " + std::to_string(size) + " bytes, more than the " +
                   std::to_string(largest_definition) + " allowed")};
}

// Too many attributes on an element, or namespace declarations in the document: refused as too
// many nodes of one kind, the answer the service gives for the 33rd action, with where and what.
// What a registration or a change changes in the text of a definition before it is stored.
struct Rewrites {
    std::optional<bool> enabled;     // Settings/Enabled
    std::optional<std::string> uri;  // RegistrationInfo/URI, when there is one (UTF-8)
    const PrincipalRewrite* principal = nullptr;
};

// Sets Settings/Enabled (Settings and Enabled made where missing, in the task namespace): what
// TASK_DISABLE registers, as Windows stores the task disabled, and what
// IRegisteredTask::put_Enabled stores. False when memory ran out.
bool set_enabled(xmlDocPtr document, xmlNodePtr task, bool enabled) {
    xmlNodePtr settings = child_named(task, "Settings");
    if (!settings) {
        settings = xmlNewDocNode(document, task->ns, BAD_CAST "Settings", nullptr);
        if (!settings) return false;
        const xmlNodePtr actions = child_named(task, "Actions");
        if (!xmlAddPrevSibling(actions, settings)) {
            xmlFreeNode(settings);
            return false;
        }
    }
    const xmlChar* value = BAD_CAST(enabled ? "true" : "false");
    if (const xmlNodePtr enabled_node = child_named(settings, "Enabled")) {
        xmlNodeSetContent(enabled_node, value);
        return true;
    }
    return xmlNewTextChild(settings, task->ns, BAD_CAST "Enabled", value) != nullptr;
}

// Reads Principals/Principal: its account and logon type.
DefinitionPrincipal read_principal(xmlNodePtr task) {
    DefinitionPrincipal principal;
    const xmlNodePtr principals = child_named(task, "Principals");
    const xmlNodePtr element = principals ? child_named(principals, "Principal") : nullptr;
    if (!element) return principal;
    if (const xmlNodePtr user = child_named(element, "UserId")) principal.user_id = text_of(user);
    if (const xmlNodePtr group = child_named(element, "GroupId")) principal.group_id = text_of(group);
    if (const xmlNodePtr logon = child_named(element, "LogonType")) principal.logon_type = text_of(logon);
    return principal;
}

// Reads RegistrationInfo/SecurityDescriptor; an empty one names no descriptor, as an empty sddl
// argument of RegisterTask names none.
std::optional<std::string> read_security_descriptor(xmlNodePtr task) {
    const xmlNodePtr registration = child_named(task, "RegistrationInfo");
    const xmlNodePtr element = registration ? child_named(registration, "SecurityDescriptor") : nullptr;
    if (!element) return std::nullopt;
    std::string text = text_of(element);
    if (text.empty()) return std::nullopt;
    return text;
}

// A new element in the task namespace holding `text` as text (not markup), first among the
// parent's children; false when memory ran out.
bool prepend_text_element(xmlNodePtr parent, xmlNsPtr ns, const std::string& name, const std::string& text) {
    const xmlNodePtr element = xmlNewDocNode(parent->doc, ns, BAD_CAST name.c_str(), nullptr);
    if (!element) return false;
    xmlNodeAddContentLen(element, BAD_CAST text.data(), static_cast<int>(text.size()));
    const bool added = parent->children ? xmlAddPrevSibling(parent->children, element) != nullptr
                                        : xmlAddChild(parent, element) != nullptr;
    if (!added) xmlFreeNode(element);
    return added;
}

// Writes the principal's account and logon type, replacing what the Principal said of them.
bool set_principal(xmlDocPtr document, xmlNodePtr task, const PrincipalRewrite& rewrite) {
    xmlNodePtr principals = child_named(task, "Principals");
    if (!principals) {
        principals = xmlNewDocNode(document, task->ns, BAD_CAST "Principals", nullptr);
        if (!principals) return false;
        if (!xmlAddPrevSibling(child_named(task, "Actions"), principals)) {
            xmlFreeNode(principals);
            return false;
        }
    }
    xmlNodePtr principal = child_named(principals, "Principal");
    if (!principal) {
        principal = xmlNewChild(principals, task->ns, BAD_CAST "Principal", nullptr);
        if (!principal || !xmlSetProp(principal, BAD_CAST "id", BAD_CAST "Author")) return false;
    }
    for (const char* replaced : {"UserId", "GroupId", "LogonType"}) {
        if (const xmlNodePtr old = child_named(principal, replaced)) {
            xmlUnlinkNode(old);
            xmlFreeNode(old);
        }
    }
    if (rewrite.logon_type && !prepend_text_element(principal, task->ns, "LogonType", *rewrite.logon_type))
        return false;
    return prepend_text_element(principal, task->ns, rewrite.id_element, rewrite.id);
}

// The element of RegistrationInfo that says where the task is registered, when it names another place.
xmlNodePtr uri_to_rewrite(xmlNodePtr task, const std::string& uri) {
    const xmlNodePtr registration = child_named(task, "RegistrationInfo");
    const xmlNodePtr element = registration ? child_named(registration, "URI") : nullptr;
    return element && text_of(element) != uri ? element : nullptr;
}

// The document written out again, as the service writes a definition it changed. The declaration
// is written as the service writes one (the text is UTF-16 to callers); comments and processing
// instructions around the root are kept.
std::optional<std::string> document_text(xmlDocPtr document) {
    const std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), xmlBufferFree);
    if (!buffer) return std::nullopt;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n";
    for (xmlNodePtr node = document->children; node; node = node->next) {
        xmlBufferEmpty(buffer.get());
        if (xmlNodeDump(buffer.get(), document, node, 0, 0) < 0) return std::nullopt;
        text.append(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                    static_cast<std::size_t>(xmlBufferLength(buffer.get())));
        text += '\n';
    }
    return text;
}

Checked check_document(xmlDocPtr document, std::string xml, const Rewrites& rewrites) {
    const xmlNodePtr task = xmlDocGetRootElement(document);
    if (!task) return malformed(1, 1, "no root element");
    // The name first: Windows refuses <TASK> as an unexpected node even without the namespace.
    if (name_of(task) != "Task") return refuse(SCHED_E_UNEXPECTEDNODE, task, name_of(task));
    if (!in_task_namespace(task)) {
        const char* uri = task->ns && task->ns->href ? reinterpret_cast<const char*>(task->ns->href) : "";
        return refuse(SCHED_E_NAMESPACE, task, name_of(task), uri);
    }
    if (auto refusal = check_against_schema(task)) return refuse(refusal->code, refusal->node, refusal->name, refusal->value);

    TaskDefinition definition;
    if (const xmlNodePtr settings = child_named(task, "Settings")) {
        if (const xmlNodePtr enabled = child_named(settings, "Enabled"))
            definition.enabled = boolean_value(text_of(enabled));
        if (const xmlNodePtr hidden = child_named(settings, "Hidden"))
            definition.hidden = boolean_value(text_of(hidden));
    }
    read_actions(task, definition);
    definition.run_settings = read_run_settings(task);
    definition.triggers = read_trigger_rules(task);
    definition.principal = read_principal(task);
    definition.security_descriptor = read_security_descriptor(task);
    const bool change_enabled = rewrites.enabled && definition.enabled != *rewrites.enabled;
    const xmlNodePtr uri = rewrites.uri ? uri_to_rewrite(task, *rewrites.uri) : nullptr;
    if (!change_enabled && !uri && !rewrites.principal) {
        definition.xml = std::move(xml);
        return definition;
    }
    if (change_enabled && !set_enabled(document, task, *rewrites.enabled)) return XmlRefusal{E_OUTOFMEMORY, {}};
    if (change_enabled) definition.enabled = *rewrites.enabled;
    // The path is text, not markup: xmlNodeSetContent would read '&' as the start of a reference.
    if (uri) {
        xmlNodeSetContent(uri, nullptr);
        xmlNodeAddContentLen(uri, BAD_CAST rewrites.uri->data(), static_cast<int>(rewrites.uri->size()));
    }
    if (rewrites.principal) {
        if (!set_principal(document, task, *rewrites.principal)) return XmlRefusal{E_OUTOFMEMORY, {}};
        definition.principal = read_principal(task);
    }
    auto text = document_text(document);
    if (!text) return XmlRefusal{E_OUTOFMEMORY, {}};
    // Written out again it may have grown past the bound that its reading back will check.
    if (text->size() > largest_definition) return too_large(text->size());
    definition.xml = std::move(*text);
    return definition;
}

void initialise_libxml2_once() {
    static const bool initialised = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialised;
}

// (line, column) of text[at], counting a surrogate pair as one character.
template <typename Text>
std::pair<long, long> position_of(const Text& text, std::size_t at) {
    long line = 1;
    long column = 1;
    for (std::size_t i = 0; i < at && i < text.size(); ++i) {
        if constexpr (sizeof(text[0]) == 2) {
            if (starts_surrogate_pair(text, i)) ++i;  // one character
        }
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

XmlRefusal invalid_character_at(std::pair<long, long> position) {
    return malformed(position.first, position.second, "invalid character found in the document");
}

XmlRefusal too_many_nodes(const MarkupExcess& excess) {
    return {SCHED_E_TOO_MANY_NODES,
            position_text(excess.line, excess.column) + u":" + to_u16(excess.element) + u":" + to_u16(excess.what)};
}

// The checks of a definition (UTF-8), with what a registration changes in it.
Checked check_task_xml(std::string xml, const Rewrites& rewrites);

}  // namespace

Checked parse_task_xml(std::u16string_view text, bool disable, std::u16string_view uri) {
    if (!text.empty() && text.front() == u'\xFEFF') text.remove_prefix(1);  // a byte order mark
    // Each UTF-16 unit takes at least one byte: a text this long is too large before conversion.
    if (text.size() > largest_definition) return too_large(text.size());
    auto utf8 = utf8_from_utf16(text);
    if (!utf8) return invalid_character_at(position_of(text, first_unpaired_surrogate(text)));
    Rewrites rewrites;
    if (disable) rewrites.enabled = false;
    if (!uri.empty()) rewrites.uri = utf8_from_utf16(uri);
    return check_task_xml(std::move(*utf8), rewrites);
}

Checked parse_task_xml_utf8(std::string xml, bool disable) {
    return check_task_xml(std::move(xml), {disable ? std::optional<bool>(false) : std::nullopt, std::nullopt});
}

Checked with_enabled(std::string xml, bool enabled) { return check_task_xml(std::move(xml), {enabled, std::nullopt}); }

Checked with_principal(std::string xml, const PrincipalRewrite& principal) {
    return check_task_xml(std::move(xml), {std::nullopt, std::nullopt, &principal});
}

namespace {

Checked check_task_xml(std::string xml, const Rewrites& rewrites) {
    if (xml.size() > largest_definition) return too_large(xml.size());
    // XML cannot hold U+0000 anywhere; the parser would take it for the end of the text and
    // leave whatever follows unread.
    if (const std::size_t nul = xml.find('\0'); nul != std::string::npos)
        return invalid_character_at(position_of(std::string_view(xml), nul));
    // An empty text would give the parser no input at all (it reports that as no memory).
    if (xml.empty()) return malformed(1, 1, "Document is empty");
    if (auto refusal = check_declared_encoding(xml)) return *refusal;
    if (auto excess = find_markup_excess(xml)) return too_many_nodes(*excess);
    initialise_libxml2_once();

    const ParserContext parser(xmlCreateMemoryParserCtxt(xml.data(), static_cast<int>(xml.size())));
    if (!parser) return malformed(1, 1, "out of memory");
    std::optional<XmlRefusal> first_error;
    parser->_private = &first_error;
    parser->sax->startElementNs = start_element_recording_column;
    parser->sax->serror = keep_first_error;
    parser->sax->internalSubset = refuse_document_type;
    // No network, no switch to the declared encoding (the text is UTF-8 here whatever it says).
    xmlCtxtUseOptions(parser.get(), XML_PARSE_NONET | XML_PARSE_IGNORE_ENC | XML_PARSE_BIG_LINES);
    xmlParseDocument(parser.get());
    if (first_error) return *first_error;
    if (!parser->wellFormed || !parser->myDoc) return malformed(1, 1, "the document is not well-formed");
    return check_document(parser->myDoc, std::move(xml), rewrites);
}

}  // namespace

}  // namespace winemu
