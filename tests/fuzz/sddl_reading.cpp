// sddl_reading.cpp: libFuzzer target over winemu's SDDL reader, writer and access check. Each byte
// is one UTF-16 unit, except 0xFF, which takes the next two bytes as one unit (little-endian).
// A text must be read or refused with one of the reader's codes; a text read must write a
// canonical text that reads back to the same descriptor and writes the same text again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "security/security_descriptor.hpp"
#include "security/sid_text.hpp"

namespace {

std::u16string units_of(const std::uint8_t* data, std::size_t size) {
    std::u16string units;
    for (std::size_t at = 0; at < size; ++at) {
        if (data[at] == 0xFF && at + 2 < size) {
            units += static_cast<char16_t>(data[at + 1] | data[at + 2] << 8);
            at += 2;
        } else {
            units += static_cast<char16_t>(data[at]);
        }
    }
    return units;
}

bool documented_refusal(HRESULT code) {
    for (const DWORD error : {ERROR_INVALID_PARAMETER, winemu::error_invalid_acl, winemu::error_invalid_sid,
                              winemu::error_none_mapped}) {
        if (code == HRESULT_FROM_WIN32(error)) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto read = winemu::read_sddl(units_of(data, size));
    if (!read.ok()) {
        if (!documented_refusal(read.error())) __builtin_trap();
        return 0;
    }
    const std::u16string written = winemu::write_sddl(read.value());
    const auto again = winemu::read_sddl(written);
    if (!again.ok() || !(again.value() == read.value())) __builtin_trap();
    if (winemu::write_sddl(again.value()) != written) __builtin_trap();

    const winemu::Caller caller{"PC", "alice", "S-1-5-21-0-0-0-1001",
                                {winemu::everyone_sid, winemu::authenticated_users_sid, winemu::users_sid}, false};
    const bool everything = winemu::access_granted(read.value(), caller, winemu::generic_all);
    if (!read.value().dacl && !everything) __builtin_trap();
    // Holding every right means holding each of them.
    if (everything && !winemu::access_granted(read.value(), caller, winemu::file_generic_read)) __builtin_trap();
    return 0;
}
