// scheduler_error.hpp: SchedulerError, the self-contained record of a failed scheduler call.
// Free of platform names: the Python module includes it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane::scheduler {

class PlatformError;

// What the caller learns about a failed platform call. It holds no platform object, so it outlives
// the connection and may cross back to the thread that holds the interpreter lock.
struct SchedulerError {
    // The rendered text: the message and the code in parentheses, or the code alone.
    std::string message;
    // The HRESULT of the failing call, unchanged; 0 when the call succeeded but handed back nothing.
    std::int32_t code = 0;
    // The name of the platform call that failed, such as "GetTask"; points to static text.
    std::string_view operation;

    // Renders the error's text, releases its detail, and keeps its code with the label.
    static SchedulerError from_platform(PlatformError error, std::string_view operation);
};

}  // namespace morvane::scheduler
