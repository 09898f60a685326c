// platform_error.hpp: PlatformError, the failure of one platform call, captured on its thread.
#pragma once

#include <string>

#include "scheduler/com_ptr.hpp"
#include "scheduler/platform.hpp"
#include "scheduler/wide_text.hpp"

namespace morvane::scheduler {

// The code of a failed call, and the thread's restricted error object when it had one. Made right
// after the failure, before any other COM call on the thread, and rendered before the objects and
// the apartment of the failed work are given back. Dropping it releases the detail.
class PlatformError {
public:
    // Captures the thread's error object for the code (and leaves the thread without one).
    // Never fails; the result's code is always `code`.
    static PlatformError from_hresult(HRESULT code);
    // A code alone, without reading the thread's error information.
    static PlatformError without_capture(HRESULT code) noexcept;

    HRESULT code() const noexcept { return code_; }
    bool has_detail() const noexcept { return static_cast<bool>(detail_); }

    // The message: when the detail is about this code, its restricted description (else its
    // description), trimmed; otherwise the system's text for the code. Possibly empty.
    WideText message() const;
    // The message, then the code as " (0xXXXXXXXX)"; the code alone when the message is empty.
    std::string to_text() const;
    // `Error { code: HRESULT(0xXXXXXXXX), message: "..." }`, for the text of an InternalFailure.
    std::string debug_text() const;

private:
    PlatformError(HRESULT code, ComPtr<IRestrictedErrorInfo> detail) noexcept
        : code_(code), detail_(std::move(detail)) {}

    // The capture itself; `depth` counts the captures of secondary failures around it.
    static PlatformError capture(HRESULT code, int depth);
    friend void drop_secondary_failure(HRESULT code, int depth);

    HRESULT code_;
    ComPtr<IRestrictedErrorInfo> detail_;
};

// A failure met while capturing or rendering another one: it is captured like any failure (so the
// thread's error object it left is taken and released) and dropped at once. `depth` is that of the
// capture in progress; captures nested deeper than a few levels are skipped.
void drop_secondary_failure(HRESULT code, int depth = 0);

// The code as "0x" and eight upper-case hexadecimal digits, read unsigned.
std::string format_hresult(HRESULT code);

}  // namespace morvane::scheduler
