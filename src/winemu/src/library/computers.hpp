// computers.hpp: the emulated computers other than this one, each with its own task library and
// the network latency of every call made to its service.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace winemu {

// A computer that Connect can reach by name. It keeps what it was added with; removing it from
// the network (winemu_remove_computer) marks it gone, so that the sessions still holding it
// lose their connection.
class Computer {
public:
    Computer(std::string name, std::string library, double latency) noexcept
        : name_(std::move(name)), library_(std::move(library)), latency_(latency) {}

    // The name it was added under: what TargetServer and ConnectedDomain answer.
    const std::string& name() const noexcept { return name_; }
    // Its task library's directory (and so its accounts).
    const std::string& library() const noexcept { return library_; }
    // Seconds each call to its service waits.
    double latency() const noexcept { return latency_; }
    bool removed() const noexcept { return removed_.load(std::memory_order_acquire); }
    void mark_removed() noexcept { removed_.store(true, std::memory_order_release); }

private:
    const std::string name_;
    const std::string library_;
    const double latency_;
    std::atomic<bool> removed_{false};
};

// The computer added under `name` (compared ignoring ASCII case, as Windows compares computer
// names); null when there is none.
std::shared_ptr<const Computer> find_computer(std::u16string_view name);

// The name of the computer whose task library is `library`; empty when it is no emulated
// computer's (this computer's own library).
std::string computer_name_of_library(const std::string& library);

// Counts the computers added and removed: what was learnt of a library's computer is stale once
// it changes.
std::uint64_t network_changes() noexcept;

}  // namespace winemu
