// internal_failure.cpp: InternalFailure and the report it writes to standard error when it starts.
//
// Environment: MORVANE_BACKTRACE. When it is set to anything other than "" or "0", the report also
// carries a backtrace of the thread that raised the failure (where the C library can produce one;
// on other platforms the report has no backtrace). This is the only environment variable that the
// back end reads; nothing else in the module depends on the environment.
#include "runtime/internal_failure.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <execinfo.h>
#include <unistd.h>
#endif

namespace morvane {
namespace {

constexpr const char* no_text = "internal failure without a message";

bool backtrace_requested() {
    const char* setting = std::getenv("MORVANE_BACKTRACE");
    return setting != nullptr && setting[0] != '\0' && std::strcmp(setting, "0") != 0;
}

void write_backtrace() {
#if defined(__GLIBC__)
    constexpr int max_frames = 64;
    void* frames[max_frames];
    const int count = backtrace(frames, max_frames);
    std::fputs("backtrace:\n", stderr);
    std::fflush(stderr);
    // Writes straight to the descriptor: the symbols need no allocation that could fail here.
    backtrace_symbols_fd(frames, count, STDERR_FILENO);
#endif
}

void report(const std::optional<std::string>& text, const std::source_location& where) {
    std::fprintf(stderr, "morvane: internal failure: %s\n  at %s:%u:%u in %s\n",
                 text ? text->c_str() : no_text, where.file_name(), static_cast<unsigned>(where.line()),
                 static_cast<unsigned>(where.column()), where.function_name());
    if (backtrace_requested()) write_backtrace();
    std::fflush(stderr);
}

}  // namespace

InternalFailure::InternalFailure(std::optional<std::string> text, std::source_location where)
    : text_(std::move(text)), where_(where) {
    report(text_, where_);
}

InternalFailure::InternalFailure(const char* text, std::source_location where)
    : InternalFailure(text ? std::optional<std::string>(text) : std::nullopt, where) {}

const char* InternalFailure::what() const noexcept { return text_ ? text_->c_str() : no_text; }

}  // namespace morvane
