#pragma once
// The inventory scan: what each chip folder holds, read from disk on every call.
//
// Nothing is cached between calls, so the listing commands, the gate, the
// heartbeat and the dashboard always see the library as it is right now. Each
// chip folder is listed once and each JSON file in it is read at most once.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/error.hpp"
#include "util/json_file.hpp"

namespace kestrel::inventory {

namespace fs = std::filesystem;

// One symbol or footprint a chip has, from one source.
struct SourceEntry {
    std::string method;    // a source slug, e.g. "snapmagic", "quarry", "vendor"
    std::string label;     // its display name, from the label table
    bool current = false;  // this is the file the chip uses now
    bool thumb = false;    // a preview image of it exists
};

// What one chip folder holds. The members are declared in the order they are
// serialised; `to_json` keeps that order.
struct ChipRow {
    std::string mpn;      // the folder name (invalid UTF-8 replaced)
    std::string vendor;   // info.json manufacturer, else the vendor prefix table, else "?"
    std::string package;  // info.json package, else "?"
    std::string family;   // info.json family, else ""
    bool fully_bundled = false;  // STEP, symbol, footprint, Altium and Fusion all present
    bool has_step = false;
    bool has_sym = false;
    bool has_mod = false;
    bool has_altium_sch = false;
    bool has_altium_pcb = false;
    bool has_altium_intlib = false;
    bool has_altium = false;  // (SchLib and PcbLib) or IntLib
    bool altium_not_available = false;
    bool has_fusion_lbr = false;
    bool fusion_not_available = false;
    bool has_pdf = false;
    std::uint64_t pdf_count = 0;  // files whose name ends with ".pdf"
    bool has_info = false;        // info.json exists, parseable or not
    bool has_thumb_symbol = false;
    bool has_thumb_footprint = false;
    bool has_thumb_chip3d = false;
    bool has_thumb_chip3d_yup = false;
    std::string inferred_up_axis = "z";
    std::string chosen_up_axis = "z";
    std::string step_source = "\u2014";
    std::uint64_t size_bytes = 0;     // sum of the regular files' sizes
    std::vector<std::string> files;   // regular file names, ascending byte order
    util::json info;                  // parsed info.json, null when absent or unparseable
    util::json stock;                 // parsed stock.json, null likewise
    std::optional<std::string> authoritative_footprint_svg;
    std::optional<std::string> authoritative_footprint_svg_source;
    std::optional<std::string> validation_status;
    std::vector<std::string> validation_variants;
    util::json file_provenance;       // parsed <MPN>-file-provenance.json, null likewise
    std::vector<SourceEntry> symbol_sources;
    std::vector<SourceEntry> footprint_sources;
    util::json thumb_errors;          // parsed .thumb-errors.json, null likewise
};

// The whole library: rows in ascending byte order of `mpn` and their totals.
struct LibrarySummary {
    std::vector<ChipRow> chips;
    std::uint64_t total_size = 0;
    std::uint64_t fully_count = 0;  // rows with fully_bundled
    std::uint64_t stub_count = 0;   // the other rows
};

// Scans every folder under the library root (links to folders followed). A
// missing root is an empty library; a listing error of the root or of a chip
// folder fails the scan with the file system's reason.
util::Result<LibrarySummary> scan_library();
util::Result<LibrarySummary> scan_library(const fs::path& root);

// Scans one chip folder whose name is `mpn`. Fails only when the folder cannot
// be listed; unreadable or unparseable JSON files leave their members at defaults.
util::Result<ChipRow> scan_chip(const fs::path& dir, const std::string& mpn);

// Whether <MPN>.step, <MPN>.kicad_mod, <MPN>.kicad_sym and <MPN>.pdf exist
// (any kind of entry). An unsafe MPN has none.
struct QuickFlags {
    bool step = false;
    bool mod = false;
    bool sym = false;
    bool pdf = false;
};
QuickFlags quick_flags(const std::string& mpn);

// Every folder under the library root with its quick flags, ascending byte
// order of name; empty when the root does not exist or cannot be listed.
struct ListedChip {
    std::string name;
    QuickFlags flags;
};
std::vector<ListedChip> list_chips();

// The card vendor for an MPN without a recorded manufacturer: the first prefix
// of the vendor table the upper-cased MPN starts with, else "?".
std::string_view vendor_for_mpn(std::string_view mpn);

// The display name of a source slug; an unknown slug is its own label.
std::string source_label(std::string_view method);

// A row, an entry and a summary as JSON objects with the members in declared
// order (optional strings as null).
util::ordered_json to_json(const SourceEntry& entry);
util::ordered_json to_json(const ChipRow& row);
util::ordered_json to_json(const LibrarySummary& summary);

}  // namespace kestrel::inventory
