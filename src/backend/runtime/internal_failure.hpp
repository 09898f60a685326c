// internal_failure.hpp: InternalFailure, the one exception the back end raises on purpose.
#pragma once

#include <exception>
#include <optional>
#include <source_location>
#include <string>

namespace morvane {

// An unrecoverable failure inside the module: a broken invariant or a result the code treats as
// impossible. It unwinds to the Python call frame, the only place that catches it, releasing what
// the abandoned work holds on the way. Constructing one writes a short report to standard error
// (see internal_failure.cpp); copies made while it travels write nothing.
class InternalFailure : public std::exception {
public:
    explicit InternalFailure(std::optional<std::string> text = std::nullopt,
                             std::source_location where = std::source_location::current());
    InternalFailure(const char* text, std::source_location where = std::source_location::current());

    // The payload: the failure's text, or nothing.
    const std::optional<std::string>& text() const noexcept { return text_; }
    const std::source_location& where() const noexcept { return where_; }

    const char* what() const noexcept override;

private:
    std::optional<std::string> text_;
    std::source_location where_;
};

}  // namespace morvane
