#pragma once
// The text of GET /api/library, written straight from the scan's rows.
//
// The route runs on every poll of every open dashboard, so the rows are
// written into one string as they are walked instead of first being copied
// into a JSON document tree; the text is byte for byte what serialising the
// inventory's own JSON form gives (members in declared order, compact).

#include <string>

#include "inventory/scan.hpp"

namespace kestrel::serve {

// Appends one row as a compact JSON object.
void append_row_json(std::string& out, const inventory::ChipRow& row);

// The whole summary: {"chips":[...],"total_size":n,"fully_count":n,"stub_count":n}.
std::string library_json(const inventory::LibrarySummary& summary);

}  // namespace kestrel::serve
