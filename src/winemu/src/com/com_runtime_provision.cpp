// com_runtime_provision.cpp: the COM runtime's functions handed to the floors below when winemu loads.
#include "base/com_runtime.hpp"
#include "com/apartments.hpp"
#include "com/error_objects.hpp"
#include "com/system_messages.hpp"

namespace winemu {
namespace {

void discard_thread_error() noexcept { replace_thread_error({}); }

void leave_fault_error(HRESULT error, std::u16string_view restricted_description) noexcept {
    leave_restricted_error(error, system_message(static_cast<DWORD>(error)), restricted_description);
}

constexpr ComRuntime com_runtime_of_winemu{
    .current_apartment = current_apartment,
    .access_from_this_thread = access_from_this_thread,
    .thread_apartment_entries = thread_apartment_entries,
    .discard_thread_error = discard_thread_error,
    .leave_restricted_error = leave_fault_error,
    .leave_plain_error = leave_plain_error,
};

const bool com_runtime_provided = (provide_com_runtime(com_runtime_of_winemu), true);

}  // namespace
}  // namespace winemu
