#include "inventory/scan.hpp"

#include <unistd.h>

#include "inventory/completeness.hpp"
#include "test_support.hpp"

using namespace kestrel;
using inventory::ChipRow;
using inventory::SourceEntry;
using kestrel::testing::ScopedEnv;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::write_file;
using util::json;
namespace fs = std::filesystem;

namespace {

class InventoryTest : public ::testing::Test {
protected:
    ScopedTempDir m_tmp;
    fs::path m_root = m_tmp.path() / "library";
    ScopedEnv m_lib{"KESTREL_LIB", m_root.string()};

    // Creates library/<mpn>/ holding `files` (name -> content).
    fs::path chip(const std::string& mpn, const std::vector<std::pair<std::string, std::string>>& files) {
        fs::path dir = m_root / mpn;
        fs::create_directories(dir);
        for (const auto& [name, text] : files) {
            write_file(dir / name, text);
        }
        return dir;
    }

    ChipRow scan(const std::string& mpn) {
        util::Result<ChipRow> row = inventory::scan_chip(m_root / mpn, mpn);
        EXPECT_TRUE(row) << (row ? "" : row.error().message);
        return row ? *row : ChipRow{};
    }
};

std::string describe(const std::vector<SourceEntry>& entries) {
    std::string out;
    for (const SourceEntry& e : entries) {
        out += e.method + "/" + e.label + (e.current ? "/current" : "") + (e.thumb ? "/thumb" : "") + ";";
    }
    return out;
}

}  // namespace

TEST_F(InventoryTest, PresenceFlagsComeFromExactRegularFileNames) {
    struct Case {
        std::vector<std::string> files;
        // step sym mod sch pcb intlib altium lbr pdf fully
        const char* flags;
    };
    const Case cases[] = {
        // A full CAD bundle without a datasheet is fully bundled.
        {{"A.stp", "A.kicad_sym", "A.kicad_mod", "A.IntLib", "A.lbr"}, "1110011101"},
        // One Altium half is not Altium; the integrated library alone is.
        {{"A.step", "A.SchLib"}, "1001000000"},
        {{"A.SchLib", "A.PcbLib"}, "0001101000"},
        {{"A.SchLib", "A.IntLib"}, "0001011000"},
        // The alternative datasheet name counts.
        {{"A-datasheet.pdf"}, "0000000010"},
        // Names compare byte-exact: other case, other stem or extra suffix do not count.
        {{"A.STEP", "a.kicad_sym", "A.kicad_mod.bak", "A.schlib", "AA.pdf", "A.PDF", "A.lbr~"}, "0000000000"},
    };
    for (const Case& c : cases) {
        fs::remove_all(m_root / "A");
        std::vector<std::pair<std::string, std::string>> files;
        for (const std::string& f : c.files) {
            files.emplace_back(f, "x");
        }
        chip("A", files);
        ChipRow r = scan("A");
        std::string got;
        for (bool b : {r.has_step, r.has_sym, r.has_mod, r.has_altium_sch, r.has_altium_pcb, r.has_altium_intlib,
                       r.has_altium, r.has_fusion_lbr, r.has_pdf, r.fully_bundled}) {
            got += b ? '1' : '0';
        }
        EXPECT_EQ(got, c.flags) << ::testing::PrintToString(c.files);
    }
}

TEST_F(InventoryTest, ListingCountsRegularFilesFollowsLinksAndIgnoresFolders) {
    fs::path dir = chip("A", {{"A.pdf", "12345"}, {"notes.pdf", "1"}, {"x.PDF", "12"}, {"info.json", "{}"}});
    write_file(m_tmp.path() / "elsewhere.kicad_sym", "abc");
    fs::create_symlink(m_tmp.path() / "elsewhere.kicad_sym", dir / "A.kicad_sym");
    fs::create_symlink(m_tmp.path() / "gone", dir / "A.kicad_mod");  // dangling: not a file
    fs::create_directories(dir / "A.step");                         // a folder: ignored
    write_file(dir / "A.step" / "inner.pdf", "ignored");

    ChipRow r = scan("A");
    EXPECT_EQ(r.files, (std::vector<std::string>{"A.kicad_sym", "A.pdf", "info.json", "notes.pdf", "x.PDF"}));
    EXPECT_EQ(r.size_bytes, 5u + 1u + 2u + 2u + 3u);
    EXPECT_EQ(r.pdf_count, 2u);
    EXPECT_TRUE(r.has_sym);
    EXPECT_FALSE(r.has_mod);
    EXPECT_FALSE(r.has_step);
    EXPECT_TRUE(r.has_info);
}

TEST_F(InventoryTest, RecordFieldsFallBackWhenAbsentMistypedOrUnparseable) {
    struct Case {
        const char* mpn;
        const char* info;  // nullptr: no info.json
        const char* expected;  // vendor|package|family|step_source|altium_na|fusion_na|chosen_up_axis|info null
    };
    const Case cases[] = {
        {"lm358dr", nullptr, "TI|?||\u2014|0|0|z|1"},
        {"LMV321", R"({"package":"SOT-23"})", "TI|SOT-23||\u2014|0|0|z|0"},
        {"STM32F1", "not json", "ST|?||\u2014|0|0|z|1"},
        {"XYZ", R"({"manufacturer":"Acme","package":"QFN","family":"opamp","step_source":"mfr",
                   "altium_source":"not_available","fusion_source":"not_available","chosen_up_axis":"y"})",
         "Acme|QFN|opamp|mfr|1|1|y|0"},
        // Wrong types and near-miss values count as absent.
        {"XYZ2", R"({"manufacturer":7,"package":null,"family":["x"],"altium_source":"Not_Available",
                    "fusion_source":"not available","chosen_up_axis":1})",
         "?|?||\u2014|0|0|z|0"},
        // A record that is valid JSON but not an object is kept as the row's info.
        {"BME280", "[1,2]", "Bosch|?||\u2014|0|0|z|0"},
    };
    for (const Case& c : cases) {
        chip(c.mpn, {});
        if (c.info) {
            write_file(m_root / c.mpn / "info.json", c.info);
        }
        ChipRow r = scan(c.mpn);
        std::string got = r.vendor + "|" + r.package + "|" + r.family + "|" + r.step_source + "|" +
                          (r.altium_not_available ? "1" : "0") + "|" + (r.fusion_not_available ? "1" : "0") + "|" +
                          r.chosen_up_axis + "|" + (r.info.is_null() ? "1" : "0");
        EXPECT_EQ(got, c.expected) << c.mpn;
        EXPECT_EQ(r.has_info, c.info != nullptr) << c.mpn;
    }
}

TEST(VendorTable, FirstMatchingPrefixOfTheUpperCasedMpnWins) {
    const std::pair<const char*, const char*> cases[] = {
        {"lm358dr", "TI"},        {"TPS65987DDH", "TI"},   {"tps62840", "TI"},  {"MCXN947", "NXP"},
        {"esp32-c3", "Espressif"}, {"ATtiny85", "Microchip"}, {"VL53L1X", "ST"}, {"stm32f103", "ST"},
        {"BMP390", "Bosch"},      {"SI2302", "Vishay"},    {"MAX3232", "ADI"},  {"WAGO-221", "WAGO"},
        {"L7805", "?"},           {"", "?"},               {"AD5", "?"},        {"\xC3\xA9LM", "?"},
    };
    for (const auto& [mpn, vendor] : cases) {
        EXPECT_EQ(inventory::vendor_for_mpn(mpn), vendor) << mpn;
    }
}

TEST_F(InventoryTest, ResultFilesFillTheirMembersAndBadOnesLeaveDefaults) {
    chip("A", {{"A-thumbs.json", R"({"thumbnails":{"threeD":{"inferredSourceUpAxis":"y"}}})"},
               {"A-extraction.result.json",
                R"({"outputs":{"footprint_svg":"/tmp/run/out/A-footprint.svg","footprint_svg_source":"quarry"}})"},
               {"A-validation-status.json",
                R"({"arbiter_status":"golden_with_variants","variants":[{"kind":"pinout"},{"kind":3},"x",{"kind":"pad"}]})"},
               {"A-file-provenance.json", R"({"A.pdf":{"content_origin":"ti"}})"},
               {".thumb-errors.json", R"({"sym":"boom"})"},
               {"stock.json", R"({"mouser":{"stock":5}})"}});
    ChipRow r = scan("A");
    EXPECT_EQ(r.inferred_up_axis, "y");
    EXPECT_EQ(r.chosen_up_axis, "y");  // no choice recorded: the inferred axis
    EXPECT_EQ(r.authoritative_footprint_svg, "A-footprint.svg");
    EXPECT_EQ(r.authoritative_footprint_svg_source, "quarry");
    EXPECT_EQ(r.validation_status, "golden_with_variants");
    EXPECT_EQ(r.validation_variants, (std::vector<std::string>{"pinout", "pad"}));
    EXPECT_EQ(r.file_provenance["A.pdf"]["content_origin"], "ti");
    EXPECT_EQ(r.thumb_errors["sym"], "boom");
    EXPECT_EQ(r.stock["mouser"]["stock"], 5);

    chip("B", {{"B-thumbs.json", R"({"thumbnails":{"threeD":{"inferredSourceUpAxis":2}}})"},
               {"B-extraction.result.json", R"({"outputs":{"footprint_svg":7}})"},
               {"B-validation-status.json", "{truncated"},
               {"B-file-provenance.json", ""},
               {".thumb-errors.json", "nope"},
               {"stock.json", "[]"}});
    ChipRow b = scan("B");
    EXPECT_EQ(b.inferred_up_axis, "z");
    EXPECT_FALSE(b.authoritative_footprint_svg);
    EXPECT_FALSE(b.validation_status);
    EXPECT_TRUE(b.validation_variants.empty());
    EXPECT_TRUE(b.file_provenance.is_null());
    EXPECT_TRUE(b.thumb_errors.is_null());
    EXPECT_EQ(b.stock, json::array());
    // Result files of another chip's name are not this chip's.
    chip("C", {{"A-validation-status.json", R"({"arbiter_status":"golden"})"}});
    EXPECT_FALSE(scan("C").validation_status);
}

TEST_F(InventoryTest, SourceEntriesNameTheCurrentFileTheExtractionAndPerOriginCopies) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> files;
        const char* symbols;
        const char* footprints;
    };
    const Case cases[] = {
        // The provenance entry's content origin wins over its discovery source.
        {{{"A.kicad_sym", "x"},
          {"A-symbol.svg", "x"},
          {"A-file-provenance.json",
           R"({"A.kicad_sym":{"content_origin":"snapmagic","discovery_source":"mouser"},
               "A.kicad_mod":{"discovery_source":"digikey"}})"},
          {"A.kicad_mod", "x"}},
         "snapmagic/SnapEDA/current/thumb;",
         "digikey/DigiKey/current;"},
        // Then the record's source_of_record, then "vendor".
        {{{"A.kicad_sym", "x"}, {"A.kicad_mod", "x"}, {"info.json", R"({"source_of_record":{"symbol":"ul"}})"}},
         "ul/Ultra Librarian/current;",
         "vendor/vendor/current;"},
        // The extraction is current only when there is no current file.
        {{{"A-symbol.extracted.json", "{}"}, {"A-symbol.quarry.svg", "x"},
          {"A-footprint.extracted.json", "{}"}, {"A-footprint.quarry.svg", "x"}, {"A.kicad_mod", "x"}},
         "quarry/quarry \u00b7 datasheet/current/thumb;",
         "vendor/vendor/current;quarry/quarry \u00b7 datasheet/thumb;"},
        // An extraction without its preview adds nothing.
        {{{"A-symbol.extracted.json", "{}"}}, "", ""},
        // Per-origin copies in byte order; dotted, empty and "extracted" methods are
        // skipped, and a method already listed is not repeated.
        {{{"A.kicad_sym", "x"},
          {"A.snapmagic.kicad_sym", "x"},
          {"A-symbol.snapmagic.svg", "x"},
          {"A.ul.kicad_sym", "x"},
          {"A.Custom.kicad_sym", "x"},
          {"A.a.b.kicad_sym", "x"},
          {"A..kicad_sym", "x"},
          {"A.extracted.kicad_sym", "x"},
          {"A.vendor.kicad_sym", "x"},
          {"A.ul.kicad_mod", "x"}},
         "vendor/vendor/current;Custom/Custom;snapmagic/SnapEDA/thumb;ul/Ultra Librarian;",
         "ul/Ultra Librarian;"},
    };
    for (const Case& c : cases) {
        fs::remove_all(m_root / "A");
        chip("A", c.files);
        ChipRow r = scan("A");
        EXPECT_EQ(describe(r.symbol_sources), c.symbols);
        EXPECT_EQ(describe(r.footprint_sources), c.footprints);
    }
}

TEST(SourceLabels, KnownSlugsHaveDisplayNamesOthersAreTheirOwn) {
    const std::pair<const char*, const char*> cases[] = {
        {"ul", "Ultra Librarian"}, {"cse", "Component Search"}, {"mfr", "Manufacturer"},
        {"snapmagic", "SnapEDA"},  {"kicad_community", "KiCad community"}, {"quarry", "quarry \u00b7 datasheet"},
        {"Mouser", "Mouser"},      {"unknown", "unknown"}, {"", ""},
    };
    for (const auto& [slug, label] : cases) {
        EXPECT_EQ(inventory::source_label(slug), label) << slug;
    }
}

TEST_F(InventoryTest, LibraryScanSortsByBytesAndTotalsTheRows) {
    chip("B2", {{"B2.step", "12"}, {"B2.kicad_sym", "x"}, {"B2.kicad_mod", "x"}, {"B2.IntLib", "x"}, {"B2.lbr", "x"}});
    chip("B10", {{"b", "x"}, {"B", "x"}, {"a", "x"}, {"_", "x"}});
    chip("a1", {});
    chip("Z", {});
    write_file(m_root / "stray.txt", "not a chip");
    fs::create_directories(m_tmp.path() / "outside" / "LINKED");
    fs::create_directory_symlink(m_tmp.path() / "outside" / "LINKED", m_root / "LINKED");

    util::Result<inventory::LibrarySummary> s = inventory::scan_library();
    ASSERT_TRUE(s);
    std::vector<std::string> mpns;
    for (const ChipRow& r : s->chips) {
        mpns.push_back(r.mpn);
    }
    EXPECT_EQ(mpns, (std::vector<std::string>{"B10", "B2", "LINKED", "Z", "a1"}));
    EXPECT_EQ(s->chips[0].files, (std::vector<std::string>{"B", "_", "a", "b"}));
    EXPECT_EQ(s->total_size, 4u + 6u);
    EXPECT_EQ(s->fully_count, 1u);
    EXPECT_EQ(s->stub_count, 4u);
}

TEST_F(InventoryTest, LibraryScanOfAMissingRootIsEmptyAndOfAFileFails) {
    util::Result<inventory::LibrarySummary> missing = inventory::scan_library();
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->chips.empty());
    EXPECT_EQ(missing->total_size + missing->fully_count + missing->stub_count, 0u);

    write_file(m_root, "a file where the library should be");
    util::Result<inventory::LibrarySummary> broken = inventory::scan_library();
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().message, "listing " + m_root.string() + ": Not a directory");
}

TEST_F(InventoryTest, InvalidUtf8FolderNamesAreReplacedInTheRow) {
    const std::string raw = "X\xFF\xC3";
    chip(raw, {{raw + ".step", "x"}, {"n\xFE.pdf", "x"}});
    util::Result<inventory::LibrarySummary> s = inventory::scan_library();
    ASSERT_TRUE(s);
    ASSERT_EQ(s->chips.size(), 1u);
    const ChipRow& r = s->chips[0];
    EXPECT_EQ(r.mpn, "X\uFFFD\uFFFD");
    EXPECT_TRUE(r.has_step);  // the flags still compare the bytes on disk
    EXPECT_EQ(r.files[1], "n\uFFFD.pdf");
    EXPECT_EQ(r.pdf_count, 1u);
}

TEST_F(InventoryTest, JsonKeepsTheDeclaredMemberOrder) {
    chip("A", {{"A.kicad_sym", "x"}, {"info.json", R"({"zeta":1,"alpha":2})"}});
    util::Result<inventory::LibrarySummary> s = inventory::scan_library();
    ASSERT_TRUE(s);
    util::ordered_json out = inventory::to_json(*s);
    std::vector<std::string> keys;
    for (const auto& item : out.items()) {
        keys.push_back(item.key());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"chips", "total_size", "fully_count", "stub_count"}));

    const util::ordered_json& row = out["chips"][0];
    keys.clear();
    for (const auto& item : row.items()) {
        keys.push_back(item.key());
    }
    const std::vector<std::string> declared = {
        "mpn", "vendor", "package", "family", "fully_bundled", "has_step", "has_sym", "has_mod",
        "has_altium_sch", "has_altium_pcb", "has_altium_intlib", "has_altium", "altium_not_available",
        "has_fusion_lbr", "fusion_not_available", "has_pdf", "pdf_count", "has_info", "has_thumb_symbol",
        "has_thumb_footprint", "has_thumb_chip3d", "has_thumb_chip3d_yup", "inferred_up_axis", "chosen_up_axis",
        "step_source", "size_bytes", "files", "info", "stock", "authoritative_footprint_svg",
        "authoritative_footprint_svg_source", "validation_status", "validation_variants", "file_provenance",
        "symbol_sources", "footprint_sources", "thumb_errors"};
    EXPECT_EQ(keys, declared);
    EXPECT_TRUE(row["stock"].is_null());
    EXPECT_TRUE(row["validation_status"].is_null());
    EXPECT_EQ(row["step_source"], "\u2014");
    EXPECT_EQ(row["info"].dump(), R"({"alpha":2,"zeta":1})");
    EXPECT_EQ(row["symbol_sources"].dump(), R"([{"method":"vendor","label":"vendor","current":true,"thumb":false}])");
}

TEST_F(InventoryTest, QuickFlagsLookForFourExactNamesOfAnyKind) {
    fs::path dir = chip("A", {{"A.stp", "x"}, {"A-datasheet.pdf", "x"}, {"A.kicad_sym", "x"}});
    fs::create_directories(dir / "A.kicad_mod");
    inventory::QuickFlags f = inventory::quick_flags("A");
    EXPECT_FALSE(f.step);
    EXPECT_TRUE(f.mod);
    EXPECT_TRUE(f.sym);
    EXPECT_FALSE(f.pdf);

    write_file(m_tmp.path() / "A.step", "outside the library");
    inventory::QuickFlags climbing = inventory::quick_flags("..");
    EXPECT_FALSE(climbing.step || climbing.mod || climbing.sym || climbing.pdf);

    chip("B10", {{"B10.step", "x"}});
    chip("B2", {});
    write_file(m_root / "file", "x");
    std::vector<inventory::ListedChip> listed = inventory::list_chips();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].name, "A");
    EXPECT_EQ(listed[1].name, "B10");
    EXPECT_TRUE(listed[1].flags.step);
    EXPECT_EQ(listed[2].name, "B2");
}

TEST(Completeness, LevelsAndNotesFollowTheRow) {
    ChipRow row;
    row.mpn = "A";
    std::array<inventory::Level, inventory::k_level_count> levels = inventory::completeness_levels(row);
    const char* notes[] = {
        "fetch A.pdf from mfr \u2192 SnapMagic \u2192 Mouser \u2192 DigiKey",
        "fetch STEP from mfr or DigiKey models page",
        "fetch .kicad_sym + .kicad_mod from UL/SnapMagic/stdlib",
        "fetch .IntLib or .SchLib+.PcbLib from SnapMagic/CSE",
        "fetch .lbr from SnapMagic/CSE",
        "`kestrel thumbnails --mpn A --force`",
        "run: `kestrel validate A` (needs PDF + sym + mod)",
        "fetch stock.json from Mouser API or product page",
        "re-import with --discovery-source + --content-origin flags",
    };
    for (size_t i = 0; i < levels.size(); ++i) {
        EXPECT_FALSE(levels[i].complete) << i;
        EXPECT_EQ(levels[i].note, notes[i]) << i;
    }

    // Partial KiCad, not-available sources, a failed validation.
    row.has_sym = true;
    row.altium_not_available = true;
    row.fusion_not_available = true;
    row.validation_status = "divergent";
    levels = inventory::completeness_levels(row);
    EXPECT_EQ(levels[2].note, "fetch .kicad_mod");
    EXPECT_TRUE(levels[3].complete);
    EXPECT_EQ(levels[3].note, "(not available from any source)");
    EXPECT_TRUE(levels[4].complete);
    EXPECT_EQ(levels[6].note, "re-run: `kestrel validate A`");
    row.has_sym = false;
    row.has_mod = true;
    EXPECT_EQ(inventory::completeness_levels(row)[2].note, "fetch .kicad_sym");

    // Everything present: nine complete levels without notes.
    ChipRow full;
    full.mpn = "F";
    full.has_pdf = full.has_step = full.has_sym = full.has_mod = full.has_altium = full.has_fusion_lbr = true;
    full.has_thumb_symbol = full.has_thumb_footprint = full.has_thumb_chip3d = true;
    full.validation_status = "golden";
    full.files = {"F-file-provenance.json", "stock.json"};
    for (const inventory::Level& level : inventory::completeness_levels(full)) {
        EXPECT_TRUE(level.complete) << level.name;
        EXPECT_FALSE(level.note) << level.name;
    }
}

TEST(Completeness, GateNamesMissingCoreFilesAndStrictAddsAltiumAndFusion) {
    ChipRow row;
    row.has_step = row.has_sym = true;
    row.altium_not_available = row.fusion_not_available = true;  // the gate ignores these
    auto joined = [](const std::vector<std::string_view>& items) {
        std::string out;
        for (std::string_view i : items) {
            out += std::string(i) + ";";
        }
        return out;
    };
    EXPECT_EQ(joined(inventory::missing_items(row, false)), "datasheet.pdf;KiCad .kicad_mod;");
    EXPECT_EQ(joined(inventory::missing_items(row, true)),
              "datasheet.pdf;KiCad .kicad_mod;Altium (.SchLib+.PcbLib OR .IntLib);Fusion .lbr;");
    row.has_pdf = row.has_mod = row.has_altium = row.has_fusion_lbr = true;
    EXPECT_TRUE(inventory::missing_items(row, true).empty());
}
