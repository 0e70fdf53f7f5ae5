// The inventory commands: `list` and `status` (quick presence flags), `done`
// (the completeness ladder) and `gate` (the hard check before calling a batch
// finished, which fails while any card lacks a core file).

#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "cli/paths.hpp"
#include "hints/hints.hpp"
#include "inventory/completeness.hpp"
#include "inventory/scan.hpp"
#include "util/text.hpp"

namespace kestrel::cli {

namespace {

using inventory::ChipRow;
using inventory::QuickFlags;

constexpr std::string_view k_present = "\u2713";
constexpr std::string_view k_absent = "\u00b7";
constexpr std::string_view k_incomplete = "\u2717";

std::string flag_line(std::string_view name, const QuickFlags& flags) {
    auto mark = [](bool present) { return present ? k_present : k_absent; };
    std::string out = util::pad_right(name, 24);
    out += " step=";
    out += mark(flags.step);
    out += " mod=";
    out += mark(flags.mod);
    out += " sym=";
    out += mark(flags.sym);
    out += " pdf=";
    out += mark(flags.pdf);
    return out;
}

// The scan's rows, narrowed to one MPN when asked.
util::Result<std::vector<ChipRow>> scanned_rows(const std::optional<std::string>& mpn) {
    util::Result<inventory::LibrarySummary> summary = inventory::scan_library();
    if (!summary) {
        return std::move(summary).error();
    }
    if (!mpn) {
        return std::move(summary->chips);
    }
    std::vector<ChipRow> rows;
    for (ChipRow& row : summary->chips) {
        if (row.mpn == *mpn) {
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

}  // namespace

Status cmd_list(const ListArgs& /*args*/) {
    const std::vector<inventory::ListedChip> chips = inventory::list_chips();
    const std::string root = library_root().string();
    if (chips.empty()) {
        line("library is empty (" + root + ")");
        hint("kick off a first fetch: `kestrel fetch <MPN>`");
        return {};
    }
    line(std::to_string(chips.size()) + " parts in " + root);
    for (const inventory::ListedChip& chip : chips) {
        line("  " + flag_line(chip.name, chip.flags));
    }
    hints::print_next_hints("listed", std::nullopt);
    return {};
}

Status cmd_status(const StatusArgs& args) {
    line(flag_line(args.mpn, inventory::quick_flags(args.mpn)));
    hints::print_next_hints("status", args.mpn);
    return {};
}

Status cmd_done(const DoneArgs& args) {
    // Scan, narrowed to the chip asked for.
    util::Result<std::vector<ChipRow>> rows = scanned_rows(args.mpn);
    if (!rows) {
        return std::move(rows).error();
    }
    if (rows->empty()) {
        if (args.mpn) {
            return util::Error("no chip " + *args.mpn + " in library");
        }
        line("library is empty.");
        return {};
    }

    // The ladder of each chip, with the first missing step as a hint.
    size_t fully = 0;
    for (const ChipRow& row : *rows) {
        const std::array<inventory::Level, inventory::k_level_count> levels = inventory::completeness_levels(row);
        size_t count = 0;
        for (const inventory::Level& level : levels) {
            count += level.complete ? 1 : 0;
        }
        line(row.mpn + " \u2014 " + std::to_string(count) + "/9 levels complete");
        for (size_t i = 0; i < levels.size(); ++i) {
            const inventory::Level& level = levels[i];
            std::string text = "  ";
            text += level.complete ? k_present : k_incomplete;
            text += " " + std::to_string(i + 1) + ". " + std::string(level.name);
            if (level.note) {
                text += " \u2192 " + *level.note;
            }
            line(text);
        }
        if (count < inventory::k_level_count) {
            for (const inventory::Level& level : levels) {
                if (!level.complete) {
                    line("");
                    hint("next step for " + row.mpn + ": " + std::string(level.name) + " \u2014 " +
                         level.note.value_or(""));
                    break;
                }
            }
        } else {
            ++fully;
        }
        line("");
    }

    // A summary only when more than one chip was shown.
    if (rows->size() > 1) {
        line("SUMMARY: " + std::to_string(fully) + "/" + std::to_string(rows->size()) +
             " chips at level 9 (fully complete)");
    }
    return {};
}

Status cmd_gate(const GateArgs& args) {
    // Scan, narrowed to the chip asked for.
    util::Result<std::vector<ChipRow>> rows = scanned_rows(args.mpn);
    if (!rows) {
        return std::move(rows).error();
    }
    if (rows->empty()) {
        if (args.mpn) {
            return util::Error("no chip in library named " + *args.mpn);
        }
        line("library is empty.");
        return {};
    }

    // What each card lacks.
    struct Incomplete {
        const ChipRow* row;
        std::vector<std::string_view> missing;
    };
    std::vector<Incomplete> incomplete;
    for (const ChipRow& row : *rows) {
        std::vector<std::string_view> missing = inventory::missing_items(row, args.strict);
        if (!missing.empty()) {
            incomplete.push_back(Incomplete{&row, std::move(missing)});
        }
    }
    const std::string tag = args.strict ? " (STRICT)" : "";
    const std::string total = std::to_string(rows->size());
    tagged("GATE", std::to_string(rows->size() - incomplete.size()) + "/" + total + " cards complete" + tag);
    line("");
    if (incomplete.empty()) {
        ok("all " + total + " cards complete" + tag + ".");
        return {};
    }

    // The incomplete cards, one hint per missing item, and the failure.
    line("Incomplete cards \u2014 DO NOT claim done while these exist:");
    for (const Incomplete& card : incomplete) {
        std::string items;
        for (std::string_view item : card.missing) {
            items += items.empty() ? "" : ", ";
            items += item;
        }
        line("  " + card.row->mpn + ": missing " + items);
    }
    line("");
    for (const Incomplete& card : incomplete) {
        const std::string& mpn = card.row->mpn;
        for (std::string_view item : card.missing) {
            hint(mpn + " \u2192 fetch " + std::string(item) + " (see `kestrel sources` for the ladder, then `kestrel heartbeat " +
                 mpn + " \"<stage>\"` per stage)");
        }
    }
    line("");
    hint(std::string("re-run `kestrel gate") + (args.strict ? " --strict" : "") +
         "` after each round of work \u2014 it returns 0 only when every card is complete.");
    return util::Error("gate FAILED: " + std::to_string(incomplete.size()) + " of " + total + " cards incomplete");
}

}  // namespace kestrel::cli
