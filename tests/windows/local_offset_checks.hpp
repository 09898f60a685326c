// local_offset_checks.hpp: the client's local offsets on Windows, from the C runtime's local time,
// against the offsets that zoneinfo gives on Linux for the same zone.
#pragma once

#include <istream>

#include "check_report.hpp"

// Reads "change<TAB>utc_seconds<TAB>offset_seconds" rows (tests/windows/local_offsets.py) and
// checks, one line per change, that utc_offset_at and LocalOffsets::at give each row's offset.
void check_local_offsets(CheckReport& report, std::istream& table);
