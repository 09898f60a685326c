// journal.cpp: the journal's records and its control functions (start, stop, read).
#include "control/journal.hpp"

#include <deque>
#include <mutex>

#include <winemu/control.h>

namespace winemu {
namespace {

struct Journal {
    std::mutex lock;
    std::deque<JournalRecord> records;  // a deque: records keep their address while others are added
};

Journal& journal() {
    static Journal& instance = *new Journal;  // threads still calling at exit may append
    return instance;
}

}  // namespace

void append_to_journal(JournalRecord record) noexcept {
    try {
        Journal& book = journal();
        const std::lock_guard guard(book.lock);
        if (journal_on()) book.records.push_back(std::move(record));
    } catch (...) {
        // No memory for the record: the call itself is unaffected.
    }
}

}  // namespace winemu

extern "C" {

WINEMU_API void winemu_journal_start(void) {
    winemu::Journal& book = winemu::journal();
    const std::lock_guard guard(book.lock);
    book.records.clear();
    winemu::journal_switch.store(true, std::memory_order_relaxed);
}

WINEMU_API void winemu_journal_stop(void) {
    winemu::Journal& book = winemu::journal();
    const std::lock_guard guard(book.lock);
    winemu::journal_switch.store(false, std::memory_order_relaxed);
}

WINEMU_API size_t winemu_journal_size(void) {
    winemu::Journal& book = winemu::journal();
    const std::lock_guard guard(book.lock);
    return book.records.size();
}

WINEMU_API int winemu_journal_record(size_t index, winemu_journal_entry* entry) {
    if (!entry) return -1;
    winemu::Journal& book = winemu::journal();
    const std::lock_guard guard(book.lock);
    if (index >= book.records.size()) return -1;
    const winemu::JournalRecord& record = book.records[index];
    *entry = {
        .thread = record.thread,
        .call = record.call.c_str(),
        .object = record.object,
        .arguments = record.arguments.c_str(),
        .has_result = record.has_result ? 1 : 0,
        .result = record.result,
        .apartments = record.apartments,
        .objects = record.objects,
        .bstrs = record.bstrs,
    };
    return 0;
}

}  // extern "C"
