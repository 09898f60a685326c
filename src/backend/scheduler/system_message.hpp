// system_message.hpp: the system message-table text of an HRESULT.
#pragma once

#include "scheduler/platform.hpp"
#include "scheduler/wide_text.hpp"

namespace morvane::scheduler {

// FormatMessageW's text for the code, without its trailing white space; empty when the system has
// none (or when it cannot be copied).
WideText system_message(HRESULT code);

}  // namespace morvane::scheduler
