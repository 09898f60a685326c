// object_identity.hpp: what winemu knows of each of its COM objects: a number, an interface name, a home.
#pragma once

#include <atomic>

#include <winemu/com.h>

#include "base/com_runtime.hpp"

namespace winemu {

// A member of every COM object of winemu: numbered from 1 in order of creation (the journal names
// objects by it), and made in the calling thread's apartment. An agile object (the error objects)
// may be called from any thread while its apartment lives.
class ObjectIdentity {
public:
    ObjectIdentity(const char* interface_name, bool agile) noexcept
        : number_(next_number()),
          interface_name_(interface_name),
          agile_(agile),
          home_(com_runtime().current_apartment()) {}
    ObjectIdentity(const ObjectIdentity&) = delete;
    ObjectIdentity& operator=(const ObjectIdentity&) = delete;

    unsigned long long number() const noexcept { return number_; }
    const char* interface_name() const noexcept { return interface_name_; }
    bool agile() const noexcept { return agile_; }
    const ApartmentHome& home() const noexcept { return home_; }

private:
    static unsigned long long next_number() noexcept {
        static std::atomic<unsigned long long> last{0};
        return last.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    const unsigned long long number_;
    const char* const interface_name_;
    const bool agile_;
    const ApartmentHome home_;
};

// Implemented by every COM object of winemu, so that an interface pointer handed out can be named.
class IdentifiedObject {
public:
    virtual const ObjectIdentity& identity() const noexcept = 0;

protected:
    ~IdentifiedObject() = default;
};

// The number of a winemu object behind an interface pointer; 0 for null or a foreign object.
inline unsigned long long object_number(const void* interface_pointer) noexcept {
    if (!interface_pointer) return 0;
    const auto* unknown = static_cast<const IUnknown*>(interface_pointer);
    const auto* identified = dynamic_cast<const IdentifiedObject*>(unknown);
    return identified ? identified->identity().number() : 0;
}

}  // namespace winemu
