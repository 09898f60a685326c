// failing_allocations.cpp: the test binary's operator new and delete, over malloc and free, with a
// size from which allocations fail while a FailingLargeAllocations is alive.
//
// Every ordinary form is replaced together, so that whatever new hands out the matching delete
// frees (the sanitizers check that pairing).
#include "failing_allocations.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> failing_from{0};  // 0: nothing fails

void* allocate(std::size_t bytes) {
    const std::size_t limit = failing_from.load(std::memory_order_relaxed);
    if (limit != 0 && bytes >= limit) throw std::bad_alloc();
    if (void* block = std::malloc(bytes != 0 ? bytes : 1)) return block;
    throw std::bad_alloc();
}

void* allocate_or_null(std::size_t bytes) noexcept {
    try {
        return allocate(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

namespace winemu_test {

FailingLargeAllocations::FailingLargeAllocations(std::size_t bytes) noexcept { failing_from.store(bytes); }
FailingLargeAllocations::~FailingLargeAllocations() { failing_from.store(0); }

}  // namespace winemu_test

void* operator new(std::size_t bytes) { return allocate(bytes); }
void* operator new[](std::size_t bytes) { return allocate(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return allocate_or_null(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return allocate_or_null(bytes); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
