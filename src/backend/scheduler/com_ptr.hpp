// com_ptr.hpp: ComPtr<T>, the client's owner of one COM reference (the shared owner template's).
#pragma once

#include "owners/unique_handle.hpp"

namespace morvane::scheduler {

using morvane::ComPtr;

}  // namespace morvane::scheduler
