// command_line.hpp: how Windows turns an action's text into a program's arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace winemu {

class ServiceEnvironment;

// An action's command read as CommandLineToArgvW reads the program name, the first argument: one
// that starts with a quote ends at the next quote, backslashes and all (a path may end in one),
// and whatever follows that quote starts the arguments; an unquoted command is the program's
// path as it stands, blanks included, since the action names one program.
struct CommandText {
    std::string program;
    std::string arguments;  // after a closing quote; usually empty
};
CommandText split_command(std::string_view command);

// Splits an argument string by the rules of CommandLineToArgvW for the arguments after the
// program name: spaces and tabs separate outside quotes; 2n backslashes before a quote give n and
// the quote opens or closes quoting; 2n+1 give n and a literal quote; other backslashes are
// literal; inside quotes, consecutive quotes count in threes (3n give n quotes and stay quoted).
std::vector<std::string> split_arguments(std::string_view arguments);

// Expands %NAME% references as ExpandEnvironmentStrings does: a defined variable (names match
// case-insensitively, an exact match first) gives its value; an undefined one, "%%" and an
// unfinished "%NAME" stay as written. The values are the service's (service_environment.hpp).
std::string expand_environment(std::string_view text, const ServiceEnvironment& environment);

}  // namespace winemu
