#include "inventory/completeness.hpp"

#include <algorithm>

namespace kestrel::inventory {

namespace {

// One gate requirement: the name shown when missing, whether only `--strict`
// asks for it, and how a row satisfies it.
struct Requirement {
    std::string_view name;
    bool strict_only;
    bool (*present)(const ChipRow&);
};
constexpr Requirement k_requirements[] = {
    {"datasheet.pdf", false, [](const ChipRow& r) { return r.has_pdf; }},
    {"STEP", false, [](const ChipRow& r) { return r.has_step; }},
    {"KiCad .kicad_sym", false, [](const ChipRow& r) { return r.has_sym; }},
    {"KiCad .kicad_mod", false, [](const ChipRow& r) { return r.has_mod; }},
    {"Altium (.SchLib+.PcbLib OR .IntLib)", true, [](const ChipRow& r) { return r.has_altium; }},
    {"Fusion .lbr", true, [](const ChipRow& r) { return r.has_fusion_lbr; }},
};

constexpr std::string_view k_not_available = "(not available from any source)";

Level incomplete_unless(std::string_view name, bool complete, std::string next) {
    Level level{name, complete, std::nullopt};
    if (!complete) {
        level.note = std::move(next);
    }
    return level;
}

// Levels whose source may be marked unobtainable: complete either way, and the
// mark keeps its remark on show.
Level optional_source(std::string_view name, bool present, bool not_available, std::string next) {
    if (not_available) {
        return Level{name, true, std::string(k_not_available)};
    }
    return incomplete_unless(name, present, std::move(next));
}

}  // namespace

std::array<Level, k_level_count> completeness_levels(const ChipRow& row) {
    const std::string& mpn = row.mpn;

    std::string kicad_next;
    if (!row.has_sym && !row.has_mod) {
        kicad_next = "fetch .kicad_sym + .kicad_mod from UL/SnapMagic/stdlib";
    } else if (!row.has_sym) {
        kicad_next = "fetch .kicad_sym";
    } else {
        kicad_next = "fetch .kicad_mod";
    }

    const bool validated = row.validation_status == "golden" || row.validation_status == "golden_with_variants";
    std::string validate_next = row.validation_status
                                    ? "re-run: `kestrel validate " + mpn + "`"
                                    : "run: `kestrel validate " + mpn + "` (needs PDF + sym + mod)";

    const bool has_stock = std::find(row.files.begin(), row.files.end(), "stock.json") != row.files.end();
    const std::string provenance_name = mpn + "-file-provenance.json";
    const bool has_provenance = std::find(row.files.begin(), row.files.end(), provenance_name) != row.files.end();

    return {
        incomplete_unless("Datasheet PDF", row.has_pdf, "fetch " + mpn + ".pdf from mfr \u2192 SnapMagic \u2192 Mouser \u2192 DigiKey"),
        incomplete_unless("3D STEP model", row.has_step, "fetch STEP from mfr or DigiKey models page"),
        incomplete_unless("KiCad sym+mod", row.has_sym && row.has_mod, kicad_next),
        optional_source("Altium library", row.has_altium, row.altium_not_available,
                        "fetch .IntLib or .SchLib+.PcbLib from SnapMagic/CSE"),
        optional_source("Fusion .lbr", row.has_fusion_lbr, row.fusion_not_available, "fetch .lbr from SnapMagic/CSE"),
        incomplete_unless("Thumbnails", row.has_thumb_symbol && row.has_thumb_footprint && row.has_thumb_chip3d,
                          "`kestrel thumbnails --mpn " + mpn + " --force`"),
        incomplete_unless("Validated", validated, validate_next),
        incomplete_unless("Mouser stock", has_stock, "fetch stock.json from Mouser API or product page"),
        incomplete_unless("File provenance", has_provenance, "re-import with --discovery-source + --content-origin flags"),
    };
}

std::vector<std::string_view> missing_items(const ChipRow& row, bool strict) {
    std::vector<std::string_view> missing;
    for (const Requirement& req : k_requirements) {
        if ((strict || !req.strict_only) && !req.present(row)) {
            missing.push_back(req.name);
        }
    }
    return missing;
}

}  // namespace kestrel::inventory
