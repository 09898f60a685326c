// task_service.hpp: the Task Scheduler service object that CoCreateInstance makes.
#pragma once

#include <winemu/types.h>

namespace winemu {

// Creates the service object (not yet connected) and queries it for riid.
HRESULT create_task_service(REFIID riid, void** ppv) noexcept;

}  // namespace winemu
