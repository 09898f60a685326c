// com_ptr.hpp: ComPtr, winemu's owner of one COM reference (the shared owner template's).
#pragma once

#include "owners/unique_handle.hpp"

namespace winemu {

using morvane::ComPtr;

}  // namespace winemu
