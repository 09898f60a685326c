// thread_tallies.cpp: the threads' blocks of tallies, the registry that sums them, and their end.
#include "control/thread_tallies.hpp"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>

namespace winemu {
namespace {

// One thread's tallies: written by that thread only, read by others under the registry's lock.
struct Block {
    std::atomic<long long> values[tally_count];
    Block* next = nullptr;
    Block* previous = nullptr;
};

struct Registry {
    std::mutex lock;
    Block* live = nullptr;  // the blocks of the threads that have not ended
    // What ended threads counted, and what was counted after the counting thread's block had gone.
    long long ended[tally_count] = {};
};

Registry& registry() noexcept {
    // In static storage, made on first use and never destroyed: threads still running at exit
    // count, and memory that has run out cannot keep it from being made.
    alignas(Registry) static unsigned char storage[sizeof(Registry)];
    static Registry& instance = *::new (storage) Registry;
    return instance;
}

thread_local Block* own_block = nullptr;
// Set when the thread's block has gone at its exit: what it counts later goes to `ended`.
thread_local bool block_gone = false;

// Gives the block's counts to `ended` when the thread ends. A member of the thread only once it
// has a block (the first use registers the destructor).
struct BlockEnd {
    bool armed = false;
    ~BlockEnd() {
        Block* block = own_block;
        if (!block) return;
        {
            Registry& sums = registry();
            const std::lock_guard guard(sums.lock);
            for (std::size_t i = 0; i < tally_count; ++i) sums.ended[i] += block->values[i].load(std::memory_order_relaxed);
            (block->previous ? block->previous->next : sums.live) = block->next;
            if (block->next) block->next->previous = block->previous;
        }
        own_block = nullptr;
        block_gone = true;
        block->~Block();
        std::free(block);
    }
};
thread_local BlockEnd block_end;

// Null when no memory is left: the caller then counts in `ended` (and tries again next time).
Block* make_own_block() noexcept {
    void* memory = std::calloc(1, sizeof(Block));
    if (!memory) return nullptr;
    Block* block = ::new (memory) Block{};
    Registry& sums = registry();
    {
        const std::lock_guard guard(sums.lock);
        block->next = sums.live;
        if (sums.live) sums.live->previous = block;
        sums.live = block;
    }
    own_block = block;
    block_end.armed = true;
    return block;
}

}  // namespace

void add_to_tally(std::size_t index, long long change) noexcept {
    Block* block = own_block;
    if (!block && !block_gone) block = make_own_block();
    if (block) {
        // Only this thread writes the value: no locked instruction is needed to add to it.
        std::atomic<long long>& value = block->values[index];
        value.store(value.load(std::memory_order_relaxed) + change, std::memory_order_relaxed);
        return;
    }
    Registry& sums = registry();
    const std::lock_guard guard(sums.lock);
    sums.ended[index] += change;
}

long long tally_sum(std::size_t index) noexcept {
    Registry& sums = registry();
    const std::lock_guard guard(sums.lock);
    long long sum = sums.ended[index];
    for (const Block* block = sums.live; block; block = block->next)
        sum += block->values[index].load(std::memory_order_relaxed);
    return sum;
}

}  // namespace winemu
