// violations.cpp: the list of recorded misuse, and winemu_violations / winemu_clear_violations.
#include "control/violations.hpp"

#include <mutex>
#include <vector>

#include <winemu/control.h>

#include "control/control_text.hpp"
#include "control/json_text.hpp"

namespace winemu {
namespace {

struct ViolationList {
    std::mutex lock;
    std::vector<std::string> descriptions;
};

ViolationList& list() {
    // Never destroyed: objects released by threads still running at exit may record one.
    static ViolationList& instance = *new ViolationList;
    return instance;
}

}  // namespace

void record_violation(std::string description) noexcept {
    try {
        ViolationList& violations = list();
        const std::lock_guard guard(violations.lock);
        violations.descriptions.push_back(std::move(description));
    } catch (...) {
        // Out of memory: the violation is lost, and the misuse goes on as Windows would let it.
    }
}

}  // namespace winemu

extern "C" {

WINEMU_API size_t winemu_violations(char* buffer, size_t capacity) {
    try {
        std::string json = "[";
        {
            winemu::ViolationList& violations = winemu::list();
            const std::lock_guard guard(violations.lock);
            for (const std::string& description : violations.descriptions) {
                if (json.size() > 1) json += ", ";
                winemu::append_json_string(json, description);
            }
        }
        json += ']';
        return winemu::copy_text_out(json, buffer, capacity);
    } catch (...) {
        return winemu::copy_text_out("[\"winemu: no memory to list the violations\"]", buffer, capacity);
    }
}

WINEMU_API size_t winemu_violation_count(void) {
    winemu::ViolationList& violations = winemu::list();
    const std::lock_guard guard(violations.lock);
    return violations.descriptions.size();
}

WINEMU_API void winemu_clear_violations(void) {
    winemu::ViolationList& violations = winemu::list();
    const std::lock_guard guard(violations.lock);
    violations.descriptions.clear();
}

}  // extern "C"
