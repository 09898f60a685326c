// ro_originate_error.cpp: RoOriginateError: a restricted error object for a failure, left on the thread.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include <winemu/restricted_error.h>

#include "com/apartments.hpp"
#include "com/error_objects.hpp"
#include "control/faults.hpp"
#include "control/platform_call.hpp"
#include "com/system_messages.hpp"

namespace winemu {
namespace {

// The message is cut at 512 units including its NUL, and at its first embedded NUL.
constexpr std::size_t longest_message = 511;

std::optional<std::u16string_view> message_of(HSTRING message) {
    if (!message) return std::nullopt;
    UINT32 length = 0;
    const PCNZWCH units = WindowsGetStringRawBuffer(message, &length);
    const std::u16string_view text(units, length);
    return text.substr(0, std::min({text.find(u'\0'), longest_message, text.size()}));
}

}  // namespace

}  // namespace winemu

// A success code has no effect (FALSE). Without an apartment the call succeeds but, as on Windows,
// no error object reaches the thread. A null message gives a null restricted description, so
// readers fall back on the description, the system text for the code.
extern "C" WINEMU_API BOOL WINAPI RoOriginateError(HRESULT error, HSTRING message) {
    winemu::PlatformCall call("RoOriginateError", winemu::ErrorInfoUse::keeps);
    call.flags("error", static_cast<std::uint32_t>(error));
    call.number("null_message", message ? 0 : 1);
    const BOOL attached = [&] {
        if (winemu::enter_call("RoOriginateError")) return FALSE;
        if (SUCCEEDED(error)) return FALSE;
        if (!winemu::thread_in_apartment()) return TRUE;
        winemu::leave_restricted_error(error, winemu::system_message(static_cast<DWORD>(error)),
                                       winemu::message_of(message));
        return TRUE;
    }();
    call.result(attached);
    return attached;
}
