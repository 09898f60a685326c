// boundary_time.hpp: an xs:dateTime of a definition (StartBoundary, EndBoundary) read into fields.
#pragma once

#include <optional>
#include <string_view>

#include "library/trigger_rules.hpp"

namespace winemu {

// "YYYY-MM-DDTHH:MM:SS", optional fractions of a second (whether nonzero), then optionally "Z" or "+hh:mm"
// / "-hh:mm"; nullopt for anything else.
std::optional<BoundaryTime> read_boundary_time(std::string_view text);

}  // namespace winemu
