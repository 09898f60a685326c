// last_resort.hpp: the report written before the process is aborted, for failures nothing contains.
#pragma once

#include <string_view>

namespace morvane {

// The text that opens every last-resort report; fixed, so that tools watching standard error can
// recognise an abort of the module.
inline constexpr std::string_view uncaught_panic_text = "uncaught panic at ffi boundary";

// Writes "uncaught panic at ffi boundary", then the detail when there is one, to standard error and
// aborts the process. For an exception that reached a boundary no code may unwind through.
[[noreturn]] void abort_with_last_resort_report(std::string_view detail) noexcept;

// The same, with the detail taken from the exception being handled (call it inside a catch block):
// the text of an InternalFailure or a std::exception, or a note that the exception is unknown.
[[noreturn]] void abort_for_current_exception() noexcept;

}  // namespace morvane
