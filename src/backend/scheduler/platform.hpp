// platform.hpp: the one header through which the scheduler client reaches the platform:
// the Windows SDK on Windows, winemu everywhere else. No other file of the client knows which.
#pragma once

#ifdef _WIN32
#include "platform_windows.hpp"
#else
#include <winemu/windows.h>
#endif
