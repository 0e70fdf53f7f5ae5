// Reading meaning into free-text stage labels: which workflow phase a label
// names, and which sourcing attempt (source and outcome) it reports. Both are
// keyword tables tried from top to bottom; the first matching row wins, so the
// row order is part of the behaviour.

#include <array>
#include <cstdint>

#include "heartbeat/heartbeat.hpp"
#include "library/ledger.hpp"
#include "util/text.hpp"

namespace kestrel::heartbeat {

namespace {

// Empty strings pad the keyword lists and never match.
using Keywords = std::array<std::string_view, 6>;

bool contains(std::string_view text, std::string_view needle) {
    return text.find(needle) != std::string_view::npos;
}

bool contains_any(std::string_view text, const Keywords& keywords) {
    for (std::string_view k : keywords) {
        if (!k.empty() && contains(text, k)) {
            return true;
        }
    }
    return false;
}

struct PhaseRow {
    int phase;
    std::string_view name;
    Keywords keywords;
};

constexpr std::array<PhaseRow, 7> k_phases{{
    {0, "queued", {"queued", "starting"}},
    {1, "probing", {"probing", "navigating", "trying", "falling to", "driving"}},
    {2, "found", {"found", "identified"}},
    {3, "downloading", {"downloading", "fetching", "polling downloads"}},
    {4, "pulling", {"pulling", "from desktop"}},
    {5, "importing", {"importing"}},
    {6, "imported", {"imported", "complete", "done"}},
}};

// Keywords that name the manufacturer's own site: the word itself, its short
// forms, the bare web domains of the makers the agent meets most, and two makers
// named by their company name.
constexpr Keywords k_manufacturer_words{"manufacturer", "mfr ", " mfr,", "st.com", "ti.com", "nxp.com"};
constexpr Keywords k_manufacturer_names{"nordic", "microchip"};

// Distributor names that stop a "trying <something>.com" label from counting
// as the manufacturer's site.
constexpr Keywords k_distributor_words{"snapeda", "snapmagic", "mouser", "digikey", "arrow", "lcsc"};

struct SourceRow {
    size_t ladder_index;  // into library::k_ladder_slugs
    Keywords keywords;
};

// The other ladder rungs, tried after the manufacturer rules.
constexpr std::array<SourceRow, 6> k_sources{{
    {1, {"snapmagic", "snapeda"}},
    {2, {"mouser"}},
    {3, {"digikey"}},
    {4, {"arrow"}},
    {5, {"cse", "ultra librarian", "ultralibrarian"}},
    {6, {"lcsc"}},
}};

struct OutcomeRow {
    std::string_view outcome;
    Keywords keywords;
};

constexpr std::array<OutcomeRow, 4> k_outcomes{{
    {"OK", {"imported", "download ok", " ok "}},
    {"empty", {"empty", "no result", "not carried", "not_carried"}},
    {"404", {"404", "not found"}},
    {"blocked", {"blocked", "captcha", "cdn"}},
}};

// A label with one of these and no result word describes an attempt still under
// way, which is recorded once it has a result.
constexpr Keywords k_under_way{"trying", "probing", "driving", "falling to"};

std::optional<size_t> source_index(std::string_view text) {
    if (contains_any(text, k_manufacturer_words) || contains_any(text, k_manufacturer_names)) {
        return 0;
    }
    if (contains(text, "ti ")) {
        return 0;
    }
    if (contains(text, ".com") && contains(text, "trying ") && !contains_any(text, k_distributor_words)) {
        return 0;
    }
    for (const SourceRow& row : k_sources) {
        if (contains_any(text, row.keywords)) {
            return row.ladder_index;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<int> stage_phase(std::string_view stage) {
    const std::string text = util::to_lower(stage);
    for (const PhaseRow& row : k_phases) {
        if (contains_any(text, row.keywords)) {
            return row.phase;
        }
    }
    return std::nullopt;
}

std::string_view phase_name(std::uint64_t phase) {
    for (const PhaseRow& row : k_phases) {
        if (static_cast<std::uint64_t>(row.phase) == phase) {
            return row.name;
        }
    }
    return "?";
}

std::optional<std::pair<std::string, std::string>> stage_chain_entry(std::string_view stage) {
    const std::string text = util::to_lower(stage);
    std::optional<size_t> source = source_index(text);
    if (!source) {
        return std::nullopt;
    }
    std::string slug = library::k_ladder_slugs[*source];
    for (const OutcomeRow& row : k_outcomes) {
        if (contains_any(text, row.keywords)) {
            return std::make_pair(std::move(slug), std::string(row.outcome));
        }
    }
    if (contains_any(text, k_under_way)) {
        return std::nullopt;
    }
    return std::make_pair(std::move(slug), std::string("attempted"));
}

}  // namespace kestrel::heartbeat
