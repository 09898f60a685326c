// computers.cpp: the emulated computers other than this one, and the control API that adds and
// removes them.
#include "library/computers.hpp"

#include <map>
#include <mutex>
#include <utility>

#include <winemu/control.h>

#include "base/text_units.hpp"
#include "base/utf.hpp"
#include "control/control_text.hpp"
#include "control/json_text.hpp"

namespace winemu {
namespace {

std::string folded(std::string_view name) {
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return key;
}

struct Network {
    std::mutex lock;
    std::map<std::string, std::shared_ptr<Computer>> computers;  // by folded name
};

std::atomic<std::uint64_t> computers_changed{0};

Network& network() {
    // Never destroyed: threads still running at exit may look a computer up.
    static Network& instance = *new Network;
    return instance;
}

// Computers hold names a UNC path could hold: no separators, no spaces, and never a name that
// Connect takes for this computer.
bool acceptable_name(std::string_view name) {
    if (name.empty() || name.size() > 255 || name == "." || equal_ignoring_ascii_case(name, "localhost")) return false;
    for (const char c : name)
        if (c == '\\' || c == '/' || c == ' ' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

}  // namespace

std::shared_ptr<const Computer> find_computer(std::u16string_view name) {
    const std::string key = folded(utf8_from_utf16_lossy(name));
    Network& net = network();
    const std::lock_guard guard(net.lock);
    const auto found = net.computers.find(key);
    if (found == net.computers.end()) return nullptr;
    return found->second;
}

std::uint64_t network_changes() noexcept { return computers_changed.load(std::memory_order_acquire); }

std::string computer_name_of_library(const std::string& library) {
    std::string path = library;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    Network& net = network();
    const std::lock_guard guard(net.lock);
    for (const auto& [folded_name, computer] : net.computers)
        if (computer->library() == path) return computer->name();
    return {};
}

}  // namespace winemu

// The control API is C: nothing may unwind through it.
extern "C" WINEMU_API int winemu_add_computer(const char* name, const char* library, double latency) {
    if (!name || !library || !*library || !winemu::acceptable_name(name)) return -1;
    try {
        constexpr double longest = 24 * 60 * 60;
        if (!(latency > 0.0)) latency = 0.0;
        if (latency > longest) latency = longest;
        std::string path(library);
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        auto computer = std::make_shared<winemu::Computer>(name, std::move(path), latency);
        winemu::Network& net = winemu::network();
        const std::lock_guard guard(net.lock);
        auto& slot = net.computers[winemu::folded(name)];
        if (slot) slot->mark_removed();  // a computer added again replaces the one before
        slot = std::move(computer);
        winemu::computers_changed.fetch_add(1, std::memory_order_acq_rel);
        return 0;
    } catch (...) {
        return -1;
    }
}

extern "C" WINEMU_API int winemu_remove_computer(const char* name) {
    if (!name) return -1;
    try {
        winemu::Network& net = winemu::network();
        const std::lock_guard guard(net.lock);
        const auto found = net.computers.find(winemu::folded(name));
        if (found == net.computers.end()) return -1;
        found->second->mark_removed();
        net.computers.erase(found);
        winemu::computers_changed.fetch_add(1, std::memory_order_acq_rel);
        return 0;
    } catch (...) {
        return -1;
    }
}

extern "C" WINEMU_API size_t winemu_computers(char* buffer, size_t capacity) {
    try {
        std::string text = "[";
        winemu::Network& net = winemu::network();
        {
            const std::lock_guard guard(net.lock);
            for (const auto& [key, computer] : net.computers) {
                if (text.size() > 1) text += ", ";
                text += "{\"name\": ";
                winemu::append_json_string(text, computer->name());
                text += ", \"library\": ";
                winemu::append_json_string(text, computer->library());
                text += ", \"latency\": " + std::to_string(computer->latency()) + "}";
            }
        }
        text += "]";
        return winemu::copy_text_out(text, buffer, capacity);
    } catch (...) {
        return static_cast<size_t>(-1);
    }
}
