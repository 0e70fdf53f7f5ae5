#pragma once
// How complete a chip is: the nine-level ladder that `done` prints and the
// core-file requirements that `gate` enforces, both derived from a scan row.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/scan.hpp"

namespace kestrel::inventory {

inline constexpr size_t k_level_count = 9;

// One rung of the completeness ladder for one chip.
struct Level {
    std::string_view name;             // e.g. "Datasheet PDF"
    bool complete = false;
    std::optional<std::string> note;   // the next step (or a not-available remark) to show
};

// The nine levels of `row`, in ladder order, with the chip's MPN filled into
// the next-step texts.
std::array<Level, k_level_count> completeness_levels(const ChipRow& row);

// The names of the core files `row` lacks, in requirement order; with `strict`
// Altium and Fusion are required too. Not-available marks are ignored.
std::vector<std::string_view> missing_items(const ChipRow& row, bool strict);

}  // namespace kestrel::inventory
