// violations.hpp: misuse of the platform that Windows leaves undefined or punishes, kept as a list.
#pragma once

#include <string>

namespace winemu {

// Adds one description to the process-wide list that winemu_violations() hands out.
void record_violation(std::string description) noexcept;

}  // namespace winemu
