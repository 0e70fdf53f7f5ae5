#pragma once
// The sourcing ladder: the fixed order in which sources are tried for a chip's
// files, the names accepted for each source, their search pages, and the
// choice of the next source from the chip's ledger of attempts.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "library/ledger.hpp"
#include "util/error.hpp"

namespace kestrel::sources {

// One rung: the slug used everywhere, the site's name and what it is good for.
struct Rung {
    std::string_view slug;
    std::string_view site;
    std::string_view description;
};

// Index that stands for "every rung has been tried".
inline constexpr size_t k_ladder_exhausted = 7;

// The seven rungs in the order they are tried (manufacturer first, LCSC last).
const std::vector<Rung>& ladder();

// The rung index of a `--source` argument (case-insensitive, with the accepted
// other names). Fails with "unknown source slug {text}; valid: ..." otherwise.
util::Result<size_t> parse_source_slug(std::string_view text);

// The search page of rung `index` for `mpn` (spaces become %20). The
// manufacturer rung uses the manufacturer table and fails when no maker is
// recognised; an index past the ladder fails.
util::Result<std::string> source_search_url(size_t index, std::string_view mpn);

// A ledger source as the ladder knows it: lower-cased, other names mapped to
// their slug; anything unknown stays as lower-cased.
std::string normalise_ledger_source(std::string_view source);

// The slugs of every entry with a real outcome (anything but "attempted").
std::set<std::string> tried_sources(const std::vector<library::ChainEntry>& entries);

// The first rung with no real outcome among `entries`, or k_ladder_exhausted.
size_t next_rung(const std::vector<library::ChainEntry>& entries);

// The first rung with no real outcome in the chip's ledger, or
// k_ladder_exhausted. Fails only when the chip's record cannot be read.
util::Result<size_t> next_source(const std::string& mpn);

}  // namespace kestrel::sources
