// platform_call.cpp: PlatformCall: the checks, the error object's discard and the journal record of a call.
#include "control/platform_call.hpp"

#include <cstdio>
#include <string>

#include <winemu/com.h>

#include "base/com_runtime.hpp"
#include "base/utf.hpp"
#include "control/thread_number.hpp"
#include "control/thread_tallies.hpp"
#include "control/violations.hpp"

namespace winemu {
namespace {

constexpr HRESULT rpc_e_wrong_thread = hresult_of(0x8001010Eu);

// Platform calls open on this thread; winemu's own calls run at depth 1 or more.
thread_local int call_depth = 0;
// The success code that a fault asked the outermost call to return.
thread_local std::optional<HRESULT> deferred_success;

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

void defer_success_code(HRESULT code) noexcept {
    if (call_depth <= 1) deferred_success = code;
}

InsideWinemu::InsideWinemu() noexcept { ++call_depth; }
InsideWinemu::~InsideWinemu() { --call_depth; }

PlatformCall::PlatformCall(std::string_view name, ErrorInfoUse use) noexcept : outermost_(call_depth++ == 0) {
    if (!outermost_) return;
    deferred_success.reset();
    if (journal_on()) {
        try {
            record_.emplace();
            record_->thread = thread_number();
            record_->call = name;
            record_->apartments = com_runtime().thread_apartment_entries();
            record_->objects = tally_sum(Tally::objects);
            record_->bstrs = tally_sum(Tally::bstrs);
        } catch (...) {
            record_.reset();
        }
    }
    if (use == ErrorInfoUse::discards) com_runtime().discard_thread_error();
}

PlatformCall::PlatformCall(std::string_view name, const ObjectIdentity& object, ErrorInfoUse use) noexcept
    : PlatformCall(name, use) {
    if (!outermost_) return;
    if (record_) record_->object = object.number();
    check_object(name, object);
}

PlatformCall::~PlatformCall() {
    --call_depth;
    if (record_) append_to_journal(std::move(*record_));
}

void PlatformCall::check_object(std::string_view name, const ObjectIdentity& object) noexcept {
    const HomeAccess access = com_runtime().access_from_this_thread(object.home());
    if (access == HomeAccess::usable) return;
    const bool wrong_apartment = access == HomeAccess::other_thread || access == HomeAccess::single_threaded_caller;
    if (wrong_apartment && object.agile()) return;
    const char* what = "";
    switch (access) {
        case HomeAccess::ended: what = "after the apartment it was made in ended"; break;
        case HomeAccess::no_apartment: what = "from a thread in no apartment, after the apartment it was made in ended"; break;
        case HomeAccess::other_thread:
            what = "from a thread other than its single-threaded apartment's (RPC_E_WRONG_THREAD)";
            refusal_ = rpc_e_wrong_thread;
            break;
        case HomeAccess::single_threaded_caller:
            what = "from a single-threaded apartment, on an object of the multithreaded one (RPC_E_WRONG_THREAD)";
            refusal_ = rpc_e_wrong_thread;
            break;
        case HomeAccess::usable: break;
    }
    try {
        record_violation(std::string(name) + " on " + object.interface_name() + " #" +
                         std::to_string(object.number()) + " " + what);
    } catch (...) {
        // No memory for the text: the violation is lost.
    }
}

void PlatformCall::append_argument(std::string_view name, std::string_view value) noexcept {
    try {
        if (!record_->arguments.empty()) record_->arguments += ", ";
        record_->arguments += name;
        record_->arguments += '=';
        record_->arguments += value;
    } catch (...) {
        record_.reset();
    }
}

void PlatformCall::number(std::string_view name, long long value) noexcept {
    if (record_) append_argument(name, std::to_string(value));
}

void PlatformCall::flags(std::string_view name, unsigned long long value) noexcept {
    if (!record_) return;
    char digits[24];
    std::snprintf(digits, sizeof digits, "0x%llX", value);
    append_argument(name, digits);
}

void PlatformCall::text(std::string_view name, BSTR value) noexcept {
    if (!record_) return;
    try {
        if (!value) return append_argument(name, "null");
        if (SysStringLen(value) == 0) return append_argument(name, "empty");
        append_argument(name, quoted(utf8_from_utf16_lossy(std::u16string_view(value, SysStringLen(value)))));
    } catch (...) {
        record_.reset();
    }
}

void PlatformCall::text(std::string_view name, const char* utf8) noexcept {
    if (!record_) return;
    try {
        append_argument(name, utf8 ? quoted(utf8) : std::string("null"));
    } catch (...) {
        record_.reset();
    }
}

void PlatformCall::variant(std::string_view name, const VARIANT& value) noexcept {
    if (!record_) return;
    if (value.vt == VT_EMPTY) return append_argument(name, "empty");
    if (value.vt == VT_BSTR) return text(name, value.bstrVal);
    append_argument(name, "vt:" + std::to_string(value.vt));
}

void PlatformCall::secret(std::string_view name, const VARIANT& value) noexcept {
    if (!record_) return;
    if (value.vt != VT_BSTR) return variant(name, value);
    if (!value.bstrVal) return append_argument(name, "null");
    append_argument(name, SysStringLen(value.bstrVal) == 0 ? "empty" : "(hidden)");
}

void PlatformCall::object(std::string_view name, const void* interface_pointer) noexcept {
    if (!record_) return;
    const unsigned long long number = object_number(interface_pointer);
    if (!interface_pointer) return append_argument(name, "null");
    append_argument(name, "#" + std::to_string(number));
}

HRESULT PlatformCall::returns(HRESULT result) noexcept {
    if (outermost_ && deferred_success) {
        if (SUCCEEDED(result)) result = *deferred_success;
        deferred_success.reset();
    }
    this->result(result);
    return result;
}

void PlatformCall::result(long long value) noexcept {
    if (!record_) return;
    record_->has_result = true;
    record_->result = value;
}

}  // namespace winemu
