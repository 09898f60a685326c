// apartments.hpp: the calling thread's COM apartment, as the service objects need to know it.
#pragma once

namespace winemu {

// True while the calling thread has entered an apartment (of either model) and not left it.
bool thread_in_apartment() noexcept;

}  // namespace winemu
