#pragma once
// The ledger of sourcing attempts: `fetched_via_chain` in a chip's info.json.
// It only grows; the sourcing ladder reads it to decide where to look next.

#include <optional>
#include <string>
#include <vector>

#include "util/error.hpp"
#include "util/json_file.hpp"

namespace kestrel::library {

struct ChainEntry {
    std::string source;
    std::string outcome;
    std::optional<std::string> note;
    long long at = 0;
};

// The ladder slugs in order; an append names its source by index into this list.
inline constexpr const char* k_ladder_slugs[] = {"manufacturer", "snapmagic", "mouser", "digikey",
                                                 "arrow",        "cse_ul",    "lcsc"};
inline constexpr size_t k_ladder_size = 7;

// The usable entries of a `fetched_via_chain` value, in file order: objects with
// string source/outcome and integer at (note string or null), and older
// "source:note:outcome" strings. Everything else is skipped.
std::vector<ChainEntry> parse_chain(const util::json& chain);

// A chip's ledger. A missing file, invalid JSON or a missing/non-array ledger
// read as empty; a file that cannot be read is an error.
util::Result<std::vector<ChainEntry>> read_chain(const std::string& mpn);

// Appends (slug of `ladder_index`, outcome, note, now) unless an entry with the
// same source and outcome is already there. Returns whether it appended. Holds
// the chip folder's lock for the whole read-modify-write; fails for an unsafe
// MPN, an unreadable record or a write error.
util::Result<bool> append_chain_entry(const std::string& mpn, size_t ladder_index, const std::string& outcome,
                                      const std::optional<std::string>& note = std::nullopt);

// The source of the last readable entry; nothing when empty or unreadable.
std::optional<std::string> last_chain_source(const std::string& mpn);

// An entry as written to the file: keys at, note (null when absent), outcome, source.
util::json chain_entry_json(const ChainEntry& entry);

}  // namespace kestrel::library
