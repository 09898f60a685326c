// run_parameters.cpp: RunEx's parameters put into a run's Exec actions, as Windows substitutes them.
#include "launch/run_parameters.hpp"

namespace winemu {

std::string substitute_parameters(std::string_view text, const std::vector<std::string>& values) {
    constexpr std::string_view opening = "$(Arg";
    std::string out;
    out.reserve(text.size());
    while (true) {
        const std::size_t at = text.find(opening);
        if (at == std::string_view::npos) return out.append(text);
        out.append(text.substr(0, at));
        text.remove_prefix(at);
        std::size_t end = opening.size();
        std::size_t index = 0;
        while (end < text.size() && end < opening.size() + 3 && text[end] >= '0' && text[end] <= '9')
            index = index * 10 + static_cast<std::size_t>(text[end++] - '0');
        const std::size_t digits = end - opening.size();
        const bool canonical = digits == 1 || (digits == 2 && text[opening.size()] != '0');
        if (canonical && end < text.size() && text[end] == ')' && index < values.size()) {
            out.append(values[index]);
            text.remove_prefix(end + 1);
        } else {
            out.push_back(text.front());  // not a placeholder with a value: keep it, look on after '$'
            text.remove_prefix(1);
        }
    }
}

void substitute_parameters(std::vector<ExecAction>& actions, const std::vector<std::string>& values) {
    if (values.empty()) return;
    for (ExecAction& action : actions) {
        action.command = substitute_parameters(action.command, values);
        action.arguments = substitute_parameters(action.arguments, values);
        action.working_directory = substitute_parameters(action.working_directory, values);
    }
}

}  // namespace winemu
