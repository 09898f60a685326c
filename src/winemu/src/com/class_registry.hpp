// class_registry.hpp: the classes CoCreateInstance can make, each registered by the room that implements it.
#pragma once

#include <winemu/types.h>

namespace winemu {

struct RegisteredClass {
    CLSID id;
    const char* name;  // how the journal names the class
    // Makes a new object and queries it for riid; *object is null on failure.
    HRESULT (*create)(REFIID riid, void** object) noexcept;
};

// Called by a static initializer of the implementing room while winemu loads, never later: the
// lookups that follow read the registry without a lock.
void register_class(const RegisteredClass& registered) noexcept;

// The class registered under that id; null when none is.
const RegisteredClass* find_class(REFCLSID id) noexcept;

}  // namespace winemu
