// thread_tallies.hpp: process-wide counters that each thread adds to in a block of its own.
#pragma once

/* === Why per thread ===
 * Every platform call counts itself, and most make or free an object or a BSTR. Counted in one
 * shared place, two threads calling at once write the same cache lines on every call and stall
 * each other. Here each thread adds to its own block, which only it writes (a plain load and
 * store, no locked instruction); a reader sums the blocks of the live threads and what the
 * threads that have ended left behind. Blocks join and leave the sum under one lock, taken when a
 * thread first counts, when it ends, and when a sum is read: never on the path of a call.
 *
 * A sum is exact once the threads that counted have been synchronised with the reader (joined,
 * or counted on the reader's own thread), as a single shared counter's would be; it stays exact
 * when a thread ends, and when something is counted during the thread's exit after its block has
 * gone (it is then added to what ended threads left, under the lock). */

#include <cstddef>

namespace winemu {

// The tallies: the objects, BSTRs, apartment entries and buffers that are outstanding (changes
// may be negative: a thread may free what another made), then one per counted call name.
enum class Tally : std::size_t { objects, bstrs, apartments, buffers, first_call };
inline constexpr std::size_t call_tally_count = 128;
inline constexpr std::size_t tally_count = static_cast<std::size_t>(Tally::first_call) + call_tally_count;

// Adds `change` to the tally `index` (below tally_count) on behalf of the calling thread.
void add_to_tally(std::size_t index, long long change) noexcept;
inline void add_to_tally(Tally tally, long long change) noexcept {
    add_to_tally(static_cast<std::size_t>(tally), change);
}

// The tally summed over every thread, live or ended.
long long tally_sum(std::size_t index) noexcept;
inline long long tally_sum(Tally tally) noexcept { return tally_sum(static_cast<std::size_t>(tally)); }

}  // namespace winemu
