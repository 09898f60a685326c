// command_line.cpp: how Windows turns an action's text into a program's arguments.
#include "launch/command_line.hpp"

#include <optional>

#include "control/service_environment.hpp"

namespace winemu {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

CommandText split_command(std::string_view command) {
    if (command.empty() || command.front() != '"') return {std::string(command), {}};
    command.remove_prefix(1);
    const std::size_t closing = command.find('"');
    if (closing == std::string_view::npos) return {std::string(command), {}};
    return {std::string(command.substr(0, closing)), std::string(command.substr(closing + 1))};
}

std::vector<std::string> split_arguments(std::string_view arguments) {
    std::vector<std::string> argv;
    std::string current;
    bool in_argument = false;
    std::size_t backslashes = 0;
    int quotes = 0;  // 0: unquoted; 1: inside quotes; 2 never lasts (see below)
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const char c = arguments[i];
        if (is_blank(c) && quotes == 0) {
            if (in_argument) argv.push_back(std::move(current));
            current.clear();
            in_argument = false;
            backslashes = 0;
            continue;
        }
        in_argument = true;
        if (c == '\\') {
            current.push_back(c);
            ++backslashes;
            continue;
        }
        if (c != '"') {
            current.push_back(c);
            backslashes = 0;
            continue;
        }
        // A quote: halve the backslashes before it; an odd one left over escapes the quote.
        current.resize(current.size() - backslashes / 2);
        if (backslashes % 2 == 1) {
            current.back() = '"';
        } else {
            ++quotes;
        }
        backslashes = 0;
        while (i + 1 < arguments.size() && arguments[i + 1] == '"') {
            ++i;
            if (++quotes == 3) {
                current.push_back('"');
                quotes = 0;
            }
        }
        if (quotes == 2) quotes = 0;
    }
    if (in_argument) argv.push_back(std::move(current));
    return argv;
}

std::string expand_environment(std::string_view text, const ServiceEnvironment& environment) {
    std::string expanded;
    while (!text.empty()) {
        const std::size_t percent = text.find('%');
        expanded += text.substr(0, percent);
        if (percent == std::string_view::npos) break;
        text.remove_prefix(percent);
        const std::size_t closing = text.find('%', 1);
        if (closing == std::string_view::npos) {
            expanded += text;  // an unfinished reference stays as written
            break;
        }
        const std::string_view name = text.substr(1, closing - 1);
        const auto value = name.empty() ? std::nullopt : environment.value(name);
        expanded += value ? std::string_view(*value) : text.substr(0, closing + 1);
        text.remove_prefix(closing + 1);
    }
    return expanded;
}

}  // namespace winemu
