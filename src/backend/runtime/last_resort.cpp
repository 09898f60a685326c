// last_resort.cpp: the last-resort report on standard error, then std::abort().
#include "runtime/last_resort.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "runtime/internal_failure.hpp"

namespace morvane {
namespace {

void write_text(std::string_view text) noexcept { std::fwrite(text.data(), 1, text.size(), stderr); }

}  // namespace

void abort_with_last_resort_report(std::string_view detail) noexcept {
    write_text(uncaught_panic_text);
    if (!detail.empty()) {
        write_text(": ");
        write_text(detail);
    }
    write_text("\n");
    std::fflush(stderr);
    std::abort();
}

void abort_for_current_exception() noexcept {
    // Rethrowing inside a noexcept function is safe here: every branch catches what it throws.
    try {
        throw;
    } catch (const InternalFailure& failure) {
        abort_with_last_resort_report(failure.what());
    } catch (const std::exception& exception) {
        abort_with_last_resort_report(exception.what());
    } catch (...) {
        abort_with_last_resort_report("an exception of unknown type");
    }
}

}  // namespace morvane
