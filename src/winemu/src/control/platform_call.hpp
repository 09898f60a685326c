// platform_call.hpp: the frame of every platform call: misuse checks, the thread's error object,
// the journal, and the success code that a fault may ask for.
//
// === Overview ===
// Each platform function and each method of a winemu COM object opens a PlatformCall first and
// returns through it. Only the outermost call of a thread (one made by the program, not by winemu
// while serving a call) is checked and recorded:
// - a method of an object whose apartment has ended, of a single-threaded apartment's object from
//   another thread, or of a multithreaded apartment's object from a single-threaded apartment, is
//   recorded as a violation (the last two are refused with RPC_E_WRONG_THREAD, as Windows answers
//   a caller that skipped marshalling; Release still gives the reference back);
// - a call that neither reads nor leaves alone the thread's error object (any Co* function and any
//   method but QueryInterface and the error object's own) discards it first, as the COM runtime
//   may: a failure not captured at once is lost;
// - with the journal on, the call, its arguments, its result and the thread's state at entry are
//   recorded;
// - a fault with a success code other than S_OK lets the call do its work and then returns that code.
#pragma once

#include <optional>
#include <string_view>

#include <winemu/types.h>

#include "control/journal.hpp"
#include "base/object_identity.hpp"

namespace winemu {

enum class ErrorInfoUse { keeps, discards };

class PlatformCall {
public:
    // A function of the platform.
    PlatformCall(std::string_view name, ErrorInfoUse use) noexcept;
    // A method of a winemu COM object.
    PlatformCall(std::string_view name, const ObjectIdentity& object, ErrorInfoUse use) noexcept;
    ~PlatformCall();
    PlatformCall(const PlatformCall&) = delete;
    PlatformCall& operator=(const PlatformCall&) = delete;

    // RPC_E_WRONG_THREAD for an object called from an apartment other than its own.
    std::optional<HRESULT> refusal() const noexcept { return refusal_; }

    // The arguments, for the journal; each does nothing while the journal is off.
    void number(std::string_view name, long long value) noexcept;
    void flags(std::string_view name, unsigned long long value) noexcept;
    void text(std::string_view name, BSTR value) noexcept;
    void text(std::string_view name, const char* utf8) noexcept;
    void variant(std::string_view name, const VARIANT& value) noexcept;
    // A password: whether one was given ("(hidden)" for a text that is not empty), never its text.
    void secret(std::string_view name, const VARIANT& value) noexcept;
    void object(std::string_view name, const void* interface_pointer) noexcept;

    // Gives back the call's HRESULT, or the success code a fault asked for when the call succeeded.
    HRESULT returns(HRESULT result) noexcept;
    // For functions that return something else: what the journal shows as their result.
    void result(long long value) noexcept;

private:
    void check_object(std::string_view name, const ObjectIdentity& object) noexcept;
    void append_argument(std::string_view name, std::string_view value) noexcept;

    bool outermost_;
    std::optional<HRESULT> refusal_;
    std::optional<JournalRecord> record_;
};

// Called by a fault with a success code other than S_OK: the outermost call returns that code
// once it has done its work.
void defer_success_code(HRESULT code) noexcept;

// Runs winemu's own COM work (releasing the thread's error object, for example) as part of the
// current call: the calls it makes are neither checked nor recorded.
class InsideWinemu {
public:
    InsideWinemu() noexcept;
    ~InsideWinemu();
    InsideWinemu(const InsideWinemu&) = delete;
    InsideWinemu& operator=(const InsideWinemu&) = delete;
};

}  // namespace winemu
