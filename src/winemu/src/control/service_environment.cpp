// service_environment.cpp: the environment the emulated service gives its tasks, taken once.
#include "control/service_environment.hpp"

#include <atomic>
#include <mutex>

#include <winemu/control.h>

extern char** environ;

namespace winemu {
namespace {

bool same_ignoring_ascii_case(std::string_view a, std::string_view b) noexcept {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::vector<std::string> copied(const char* const* entries) {
    std::vector<std::string> copy;
    for (; entries && *entries; ++entries) copy.emplace_back(*entries);
    return copy;
}

std::atomic<std::uint64_t> generation{1};

struct Current {
    std::mutex lock;
    std::shared_ptr<const ServiceEnvironment> environment;
};

Current& current() {
    // Never destroyed: threads still running at exit may start runs.
    static Current& instance = *new Current{{}, std::make_shared<const ServiceEnvironment>(copied(environ))};
    return instance;
}

// Taken while libwinemu is loaded, before any of its calls can run on another thread.
[[maybe_unused]] const bool taken_at_load = (current(), true);

}  // namespace

ServiceEnvironment::ServiceEnvironment(std::vector<std::string> entries) : entries_(std::move(entries)) {
    pointers_.reserve(entries_.size() + 1);
    for (std::string& entry : entries_) pointers_.push_back(entry.data());
    pointers_.push_back(nullptr);
}

std::optional<std::string_view> ServiceEnvironment::value(std::string_view name) const noexcept {
    std::optional<std::string_view> folded;
    for (const std::string& entry : entries_) {
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos) continue;
        const std::string_view entry_name(entry.data(), equals);
        const std::string_view entry_value = std::string_view(entry).substr(equals + 1);
        if (entry_name == name) return entry_value;
        if (!folded && same_ignoring_ascii_case(entry_name, name)) folded = entry_value;
    }
    return folded;
}

std::uint64_t environment_generation() noexcept { return generation.load(std::memory_order_acquire); }

std::shared_ptr<const ServiceEnvironment> service_environment() {
    Current& environment = current();
    const std::lock_guard guard(environment.lock);
    return environment.environment;
}

}  // namespace winemu

extern "C" WINEMU_API int winemu_set_environment(const char* const* entries) {
    if (!entries) return -1;
    try {
        auto replacement = std::make_shared<const winemu::ServiceEnvironment>(winemu::copied(entries));
        winemu::Current& environment = winemu::current();
        const std::lock_guard guard(environment.lock);
        environment.environment = std::move(replacement);
        winemu::generation.fetch_add(1, std::memory_order_release);
        return 0;
    } catch (...) {
        return -1;
    }
}
