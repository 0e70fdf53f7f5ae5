#include "sources/ladder.hpp"

#include "sources/manufacturers.hpp"
#include "util/text.hpp"

namespace kestrel::sources {

namespace {

// The rungs with the host of each site's search page.
struct RungRow {
    std::string_view slug;
    std::string_view site;
    std::string_view description;
    std::string_view search_host;  // empty for the manufacturer: its own table decides
    std::string_view search_path;  // "{q}" marks the MPN
};
constexpr RungRow k_rungs[] = {
    {"manufacturer", "<vendor>.com", "STEP, datasheet, lifecycle. ALWAYS try first, even when confident.", "", ""},
    {"snapmagic", "snapeda.com", "free CAD bundles, login-gated. Right after manufacturer.", "https://www.snapeda.com",
     "/search/?q={q}&active=part"},
    {"mouser", "mouser.com", "stock + pricing always; sometimes ECAD Models / CSE deep-links.", "https://www.mouser.com",
     "/c/?q={q}"},
    {"digikey", "digikey.com", "broader catalog; STEP + datasheet on every product page.", "https://www.digikey.com",
     "/en/products/result?keywords={q}"},
    {"arrow", "arrow.com", "niche distributor.", "https://www.arrow.com", "/en/categories/connectors?q={q}"},
    {"cse_ul", "componentsearchengine.com / ultralibrarian.com", "only when mfr links there.",
     "https://componentsearchengine.com", "/search/{q}"},
    {"lcsc", "datasheet.lcsc.com / lcsc.com",
     "LAST RESORT. Avoid if possible; tell user we couldn't find it on the manufacturer's site instead.",
     "https://www.lcsc.com", "/search?q={q}"},
};
static_assert(std::size(k_rungs) == k_ladder_exhausted);

// Names a `--source` argument may use, lower-cased, with their rung.
struct SlugAlias {
    std::string_view name;
    size_t index;
};
constexpr SlugAlias k_argument_names[] = {
    {"manufacturer", 0}, {"mfr", 0},    {"snapmagic", 1}, {"snapeda", 1}, {"mouser", 2},
    {"digikey", 3},      {"arrow", 4},  {"cse_ul", 5},    {"cse", 5},     {"ul", 5},
    {"ultralibrarian", 5}, {"lcsc", 6},
};

// Other names a ledger entry's source may carry, lower-cased, and their slug.
// (They differ slightly from the argument names: "cseul" is accepted here only.)
struct LedgerAlias {
    std::string_view name;
    std::string_view slug;
};
constexpr LedgerAlias k_ledger_names[] = {
    {"mfr", "manufacturer"}, {"snapeda", "snapmagic"}, {"ul", "cse_ul"},
    {"cse", "cse_ul"},       {"cseul", "cse_ul"},      {"ultralibrarian", "cse_ul"},
};

}  // namespace

const std::vector<Rung>& ladder() {
    static const std::vector<Rung> rungs = [] {
        std::vector<Rung> out;
        for (const RungRow& row : k_rungs) {
            out.push_back(Rung{row.slug, row.site, row.description});
        }
        return out;
    }();
    return rungs;
}

util::Result<size_t> parse_source_slug(std::string_view text) {
    const std::string lower = util::to_lower(text);
    for (const SlugAlias& alias : k_argument_names) {
        if (alias.name == lower) {
            return alias.index;
        }
    }
    return util::Error("unknown source slug " + std::string(text) +
                       "; valid: manufacturer, snapmagic, mouser, digikey, arrow, cse_ul, lcsc");
}

util::Result<std::string> source_search_url(size_t index, std::string_view mpn) {
    if (index >= k_ladder_exhausted) {
        return util::Error("ladder index " + std::to_string(index) + " names no source");
    }
    if (index == 0) {
        std::optional<ManufacturerMatch> maker = detect_manufacturer(mpn);
        if (!maker) {
            return util::Error("could not infer manufacturer for " + std::string(mpn) +
                               "; pass an explicit URL via --source mouser/digikey/etc.");
        }
        return maker->url;
    }
    const RungRow& row = k_rungs[index];
    const std::string query = util::replace_all(std::string(mpn), " ", "%20");
    return std::string(row.search_host) + util::replace_all(std::string(row.search_path), "{q}", query);
}

std::string normalise_ledger_source(std::string_view source) {
    std::string lower = util::to_lower(source);
    for (const LedgerAlias& alias : k_ledger_names) {
        if (alias.name == lower) {
            return std::string(alias.slug);
        }
    }
    return lower;
}

std::set<std::string> tried_sources(const std::vector<library::ChainEntry>& entries) {
    std::set<std::string> tried;
    for (const library::ChainEntry& entry : entries) {
        // An opened page is not a tried source until its outcome is recorded.
        if (entry.outcome != "attempted") {
            tried.insert(normalise_ledger_source(entry.source));
        }
    }
    return tried;
}

size_t next_rung(const std::vector<library::ChainEntry>& entries) {
    const std::set<std::string> tried = tried_sources(entries);
    for (size_t i = 0; i < k_ladder_exhausted; ++i) {
        if (tried.count(std::string(k_rungs[i].slug)) == 0) {
            return i;
        }
    }
    return k_ladder_exhausted;
}

util::Result<size_t> next_source(const std::string& mpn) {
    util::Result<std::vector<library::ChainEntry>> chain = library::read_chain(mpn);
    if (!chain) {
        return std::move(chain).error();
    }
    return next_rung(*chain);
}

}  // namespace kestrel::sources
