// run_parameters.hpp: RunEx's parameters put into a run's Exec actions, as Windows substitutes them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "library/task_xml.hpp"

namespace winemu {

// The most values RunEx takes: $(Arg0) to $(Arg31).
inline constexpr std::size_t most_run_parameters = 32;

// The text with each "$(ArgN)" (N written in decimal without leading zeros, as the documentation
// spells it) replaced by the Nth value; a placeholder without a value stays as written, and a
// value is put in as it is (a placeholder inside it is not replaced again).
std::string substitute_parameters(std::string_view text, const std::vector<std::string>& values);

// The same in each action's command, arguments and working directory (before the environment's
// %NAME% references are expanded, which the service does as it starts each action).
void substitute_parameters(std::vector<ExecAction>& actions, const std::vector<std::string>& values);

}  // namespace winemu
