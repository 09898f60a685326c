// input_table.hpp: the fidelity inputs as read from their checked-in table (one case per line).
#pragma once

#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fidelity {

// One step that prepares the task store before a case: register a plain task, or delete one.
struct SetupStep {
    std::string action;  // "register" or "delete"
    std::string name;
};

// One input: the steps that prepare the store, then one operation on one name.
//   operation: "run_task", "delete_task", "task_exists", "register_xml" (the client's four), or
//   "RegisterTask" (the service call itself, with `flags`), or one of the calls that list tasks and
//   read, change and stop one (task_reading_answers.hpp).
struct Case {
    std::string id;
    std::vector<SetupStep> setup;
    std::string operation;
    std::string name;
    std::optional<std::string> definition;  // UTF-8; absent means the null BSTR
    long flags = 0;
};

// Reads the table:
//   define <key> <text>                        a definition that cases name as @key
//   names  <id> <name>                          expands into the name's four cases (see .cpp)
//   case   <id> <setup> <operation> <name> <definition> <flags>
// Fields are separated by tabs; "-" is an absent field. A field is percent-decoded: %XX is a
// byte, %{N*text} is text repeated N times. Lines that are empty or start with '#' are skipped.
// Throws std::runtime_error naming the line when a line cannot be read.
std::vector<Case> read_cases(std::istream& input);

// The plain definition that setup steps and "names" cases register.
const std::string& plain_definition();

}  // namespace fidelity
