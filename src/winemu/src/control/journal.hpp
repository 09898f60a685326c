// journal.hpp: the call journal: on request, one record per platform call, on every thread.
#pragma once

#include <atomic>
#include <string>

namespace winemu {

struct JournalRecord {
    unsigned long long thread = 0;  // thread_number() of the caller
    std::string call;
    unsigned long long object = 0;  // the object whose method it is; 0 for a function
    std::string arguments;          // "name=value, ..." in the order of the parameters
    bool has_result = false;        // false for functions that return nothing
    long long result = 0;
    long long apartments = 0;  // the thread's apartment entries at entry
    long long objects = 0;     // COM objects alive at entry, over all threads
    long long bstrs = 0;       // BSTRs alive at entry, over all threads
};

// Whether records are being made: the one check that a call pays while the journal is off.
inline std::atomic<bool> journal_switch{false};
inline bool journal_on() noexcept { return journal_switch.load(std::memory_order_relaxed); }

// Adds a finished record (dropped when memory runs out).
void append_to_journal(JournalRecord record) noexcept;

}  // namespace winemu
