// task_xml.hpp: checking a task definition as the service does, and reading, from the one parse,
// what running it and its run times need.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <winemu/types.h>

#include "library/run_settings.hpp"
#include "library/trigger_rules.hpp"

namespace winemu {

inline constexpr std::string_view task_namespace = "http://schemas.microsoft.com/windows/2004/02/mit/task";

struct ExecAction {
    std::string command;            // UTF-8, as written (environment references not expanded)
    std::string arguments;
    std::string working_directory;
};

// What Principals/Principal says of the task's account (UTF-8, as written); all none without one.
struct DefinitionPrincipal {
    std::optional<std::string> user_id;     // UserId
    std::optional<std::string> group_id;    // GroupId
    std::optional<std::string> logon_type;  // LogonType: "Password", "S4U", "InteractiveToken", ...
};

// The principal a registration writes: the account's element ("UserId" or "GroupId") with its
// text, and LogonType (none: no LogonType element, as Windows writes the group and service
// account logons). The other elements of the definition's Principal are kept.
struct PrincipalRewrite {
    std::string id_element;
    std::string id;
    std::optional<std::string> logon_type;
};

struct TaskDefinition {
    bool enabled = true;  // Settings/Enabled
    bool hidden = false;  // Settings/Hidden: listed only when hidden tasks are asked for
    std::vector<ExecAction> exec_actions;
    RunSettings run_settings;  // how the service runs it
    TriggerRules triggers;     // when its triggers start it
    DefinitionPrincipal principal;
    // RegistrationInfo/SecurityDescriptor (UTF-8, as written; none without one or when empty):
    // the descriptor a registration gives the task when it names none of its own.
    std::optional<std::string> security_descriptor;
    std::string xml;      // the text as UTF-8
};

// Why a definition was refused: the HRESULT and the detail as Windows shows it,
// "(line,column):node:value", or "(line,column)::ERROR: message" for text that is no XML.
struct XmlRefusal {
    HRESULT code;
    std::u16string detail;
};

// Checks the UTF-16 text of a definition (well-formed, no document type declaration, no encoding
// other than UTF-16 declared, root Task in the task namespace, then the task schema: see
// schema_check.hpp) and reads it. Bounded: see task_limits.hpp. With `disable`, an enabled definition comes
// back disabled, its text written out again with Settings/Enabled false (TASK_DISABLE). With
// `uri` (the task's path, "\Folder\Name"), a RegistrationInfo/URI that names another place is
// rewritten to it, as the service records where it registered a task; a definition without a URI
// is kept as written.
std::variant<TaskDefinition, XmlRefusal> parse_task_xml(std::u16string_view text, bool disable = false,
                                                        std::u16string_view uri = {});

// The same checks on a definition already converted to UTF-8 (as the library keeps it).
std::variant<TaskDefinition, XmlRefusal> parse_task_xml_utf8(std::string xml, bool disable = false);

// The same checks, and the definition with Settings/Enabled set to `enabled`: its text is written
// out again (as with TASK_DISABLE) only when that changes what it says.
std::variant<TaskDefinition, XmlRefusal> with_enabled(std::string xml, bool enabled);

// The same checks, and the definition with its principal written as `principal` says (Principals
// and Principal, id "Author", made where missing): what RegisterTask stores of its account.
std::variant<TaskDefinition, XmlRefusal> with_principal(std::string xml, const PrincipalRewrite& principal);

}  // namespace winemu
