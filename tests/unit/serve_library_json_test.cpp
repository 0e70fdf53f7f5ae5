#include "serve/library_json.hpp"

#include <fstream>

#include <gtest/gtest.h>

#include "test_support.hpp"

using kestrel::inventory::ChipRow;
using kestrel::inventory::LibrarySummary;
using kestrel::inventory::SourceEntry;
namespace fs = std::filesystem;

namespace {

// What the inventory's own JSON form serialises to; the route must match it byte for byte.
std::string reference(const LibrarySummary& summary) {
    return kestrel::util::dump_json(kestrel::inventory::to_json(summary), -1);
}

void write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

}  // namespace

TEST(LibraryJson, MatchesTheInventoryFormForAwkwardValues) {
    ChipRow odd;
    odd.mpn = "A\"B\\C\x01\x1f\x7f\t\n\r\b\f";
    odd.vendor = "Ma\xc3\xa9ker \xe2\x80\x94 \xf0\x9f\x94\xa5";  // é, an em dash, an emoji
    odd.package = "bad \xff\xfe utf8";
    odd.family = "surrogate \xed\xa0\x80 and overlong \xc0\xaf";
    odd.fully_bundled = true;
    odd.pdf_count = 18446744073709551615ull;
    odd.size_bytes = 0;
    odd.files = {"a.pdf", "\xe6\x97\xa5.step", "x\xff"};
    odd.info = kestrel::util::json::parse(R"({"z":1,"a":{"nested":[1,2.5,null,"s"]},"q":"\"\u0001"})");
    odd.stock = kestrel::util::json::array({1, "two"});
    odd.authoritative_footprint_svg = "A-footprint.authoritative.svg";
    odd.validation_status = "";
    odd.validation_variants = {"pinout", "pad \"size\""};
    odd.file_provenance = kestrel::util::json::object();
    odd.symbol_sources = {SourceEntry{"quarry", "Quarry", true, false}, SourceEntry{"x\"y", "X\nY", false, true}};
    odd.thumb_errors = "not an object";

    LibrarySummary summary;
    summary.chips = {ChipRow{}, odd};
    summary.total_size = 123456789012ull;
    summary.fully_count = 1;
    summary.stub_count = 1;
    EXPECT_EQ(kestrel::serve::library_json(summary), reference(summary));
    EXPECT_EQ(kestrel::serve::library_json(LibrarySummary{}), reference(LibrarySummary{}));
}

TEST(LibraryJson, MatchesTheInventoryFormForAScannedLibrary) {
    kestrel::testing::ScopedTempDir tmp;
    const fs::path lib = tmp.path();
    fs::create_directories(lib / "TPS1");
    write(lib / "TPS1" / "TPS1.pdf", "%PDF-1.4");
    write(lib / "TPS1" / "TPS1.step", "ISO-10303-21;");
    write(lib / "TPS1" / "TPS1.kicad_sym", "(kicad_symbol_lib)");
    write(lib / "TPS1" / "TPS1-symbol.svg", "<svg/>");
    write(lib / "TPS1" / "TPS1-symbol.quarry.svg", "<svg/>");
    write(lib / "TPS1" / "info.json", R"({"manufacturer":"Texas","package":"QFN","chosen_up_axis":"yup","extra":{"k":[1]}})");
    write(lib / "TPS1" / "TPS1-file-provenance.json", R"({"TPS1.pdf":{"url":"https://x.invalid/a?b=1"}})");
    write(lib / "TPS1" / "TPS1-validation-status.json", R"({"arbiter_status":"golden","variants":["v1"]})");
    write(lib / "TPS1" / ".thumb-errors.json", R"({"chip3d":"renderer failed"})");
    fs::create_directories(lib / "EMPTY");
    fs::create_directories(lib / "GARBLED");
    write(lib / "GARBLED" / "info.json", "{not json");

    auto summary = kestrel::inventory::scan_library(lib);
    ASSERT_TRUE(summary.ok());
    ASSERT_EQ(summary->chips.size(), 3u);
    EXPECT_EQ(kestrel::serve::library_json(*summary), reference(*summary));
}
