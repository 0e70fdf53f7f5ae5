// The ladder commands: `sources` prints the order in which sources are tried,
// `next-source` shows a chip's ledger and names the first rung still untried.

#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "library/ledger.hpp"
#include "sources/ladder.hpp"

namespace kestrel::cli {

namespace {

std::string pad_right(std::string_view text, size_t width) {
    std::string out(text);
    if (out.size() < width) {
        out.append(width - out.size(), ' ');
    }
    return out;
}

}  // namespace

Status cmd_sources(const SourcesArgs& /*args*/) {
    line("Sourcing-ladder priority (always go in order, never skip):");
    line("");
    size_t n = 1;
    for (const sources::Rung& rung : sources::ladder()) {
        line("  " + std::to_string(n++) + ". " + pad_right(rung.slug, 14) + "  " + std::string(rung.site) +
             " \u2014 " + std::string(rung.description));
    }
    line("");
    hint("LCSC is LAST RESORT \u2014 avoid if possible. Surface 'no manufacturer CAD' to user before reaching for LCSC.");
    hint("Stock data (stock.json) comes from Mouser regardless of where CAD/PDFs land.");
    return {};
}

Status cmd_next_source(const NextSourceArgs& args) {
    const std::string& mpn = args.mpn;

    // The ledger so far.
    util::Result<std::vector<library::ChainEntry>> chain = library::read_chain(mpn);
    if (!chain) {
        return std::move(chain).error();
    }
    line("Sourcing chain so far for " + mpn + " (" + std::to_string(chain->size()) + " entries):");
    for (const library::ChainEntry& entry : *chain) {
        const bool has_note = entry.note && !entry.note->empty();
        line("  " + entry.source + " \u2192 " + entry.outcome + " " + (has_note ? "\u2014" : ""));
        if (has_note) {
            line("    " + *entry.note);
        }
    }
    line("");

    // The first rung without a real outcome.
    const size_t next = sources::next_rung(*chain);
    if (next == sources::k_ladder_exhausted) {
        tagged("NEXT", "ladder fully exhausted for " + mpn + ". No more steps to try.");
        hint("if the chip is still incomplete, surface 'no CAD available anywhere' to the user \u2014 don't claim done.");
        return {};
    }
    const std::string slug(sources::ladder()[next].slug);
    line("");
    tagged("NEXT", "try " + slug + " next.");
    if (next == 0) {
        hint("`kestrel mfr-probe " + mpn + "` will detect the manufacturer + open their page in skiff.");
    } else if (next < 6) {
        hint("heartbeat `kestrel heartbeat " + mpn + " \"trying " + slug +
             "\"` before navigating, then heartbeat the outcome (\"empty\" / \"OK\" / \"404\") so next-source advances correctly.");
    } else {
        hint("LCSC is the LAST step \u2014 only fall here when every prior step has a recorded failure. Surface 'no "
             "manufacturer CAD found' to the user before pulling LCSC.");
    }
    return {};
}

}  // namespace kestrel::cli
