// local_offset_checks.cpp: check_local_offsets.
#include "local_offset_checks.hpp"

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "scheduler/local_time.hpp"

namespace {

struct Row {
    long long utc_seconds;
    int offset_seconds;
};

struct Change {
    std::string label;
    std::vector<Row> rows;
};

std::vector<Change> read_changes(std::istream& table) {
    std::vector<Change> changes;
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string label;
        Row row{};
        if (!std::getline(fields, label, '\t') || !(fields >> row.utc_seconds >> row.offset_seconds)) continue;
        if (changes.empty() || changes.back().label != label) changes.push_back(Change{label, {}});
        changes.back().rows.push_back(row);
    }
    return changes;
}

}  // namespace

void check_local_offsets(CheckReport& report, std::istream& table) {
    // Wine hands the program its Unix environment, and with it the TZ that names the zone (an IANA
    // name, which Wine matches to one of Windows' zones). Windows sets no TZ: its C runtime then
    // reads the system's zone, as here once TZ is gone; left in, the C runtime would read
    // "Europe/Berlin" as a POSIX-style rule of its own and get every offset wrong.
    _putenv("TZ=");
    _tzset();

    const std::vector<Change> changes = read_changes(table);
    report.check(!changes.empty(), "the table of local offsets (tests/windows/local_offsets.py) was read");
    for (const Change& change : changes) {
        // One LocalOffsets for the rows in time order: its spans grow across the change.
        morvane::scheduler::LocalOffsets offsets;
        std::string seen;
        for (const Row& row : change.rows) {
            const int direct = morvane::scheduler::utc_offset_at(row.utc_seconds);
            const int kept = offsets.at(row.utc_seconds);
            if (direct == row.offset_seconds && kept == row.offset_seconds) continue;
            seen += std::to_string(row.utc_seconds) + ": " + std::to_string(direct) + " / " + std::to_string(kept) +
                    " (zoneinfo " + std::to_string(row.offset_seconds) + "); ";
        }
        report.check(seen.empty(),
                     "local offsets around the change of " + change.label + " agree with zoneinfo's (" +
                         std::to_string(change.rows.size()) + " instants; utc_offset_at and LocalOffsets::at)",
                     seen);
    }
}
