// class_registry.cpp: the registered classes, in a fixed table filled while winemu loads.
#include "com/class_registry.hpp"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace winemu {
namespace {

// Constant-initialized, so that registrations from other files' static initializers find it ready.
constinit std::array<RegisteredClass, 4> classes{};
constinit std::size_t class_count = 0;

}  // namespace

void register_class(const RegisteredClass& registered) noexcept {
    if (class_count == classes.size()) {
        std::fputs("winemu: more COM classes registered than the registry holds\n", stderr);
        std::abort();
    }
    classes[class_count++] = registered;
}

const RegisteredClass* find_class(REFCLSID id) noexcept {
    for (std::size_t i = 0; i < class_count; ++i)
        if (classes[i].id == id) return &classes[i];
    return nullptr;
}

}  // namespace winemu
