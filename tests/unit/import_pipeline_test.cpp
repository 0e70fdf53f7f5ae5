#include "import/import.hpp"

#include <unistd.h>

#include "test_support.hpp"
#include "util/json_file.hpp"

using namespace kestrel;
using kestrel::testing::ScopedEnv;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::read_file;
using kestrel::testing::write_file;
using util::json;
namespace fs = std::filesystem;

namespace {

const std::string k_pdf = "%PDF-1.7\n";
const std::string k_step = "ISO-10303-21;\nHEADER;\n";
const std::string k_sym = "(kicad_symbol_lib (version 20211014)\n";
const std::string k_mod = "(footprint \"X\" (version 20221018)\n";

// A private library and temporary folder for each test.
class ImportPipeline : public ::testing::Test {
protected:
    ScopedTempDir m_tmp;
    fs::path m_lib = m_tmp.path() / "library";
    fs::path m_downloads = m_tmp.path() / "downloads";
    ScopedEnv m_lib_env{"KESTREL_LIB", m_lib.string()};
    ScopedEnv m_tmp_env{"TMPDIR", (m_tmp.path() / "tmp").string()};

    json read_json(const fs::path& path) { return json::parse(read_file(path)); }
};

}  // namespace

TEST(InferMpn, TakesTheFirstPieceWithLetterAndDigitOfFourToTwentyFourBytes) {
    struct Case {
        const char* path;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"/home/u/Downloads/ul_TPS62840YBGR.zip", "TPS62840YBGR"},  // "ul" has no digit
        {"LM358-datasheet.pdf", "LM358"},
        {"rev 2 of STM32F103C8T6.v1.step", "STM32F103C8T6"},  // split at space, '-', '.', '_'
        {"1234.pdf", std::nullopt},                           // no letter
        {"datasheet.pdf", std::nullopt},                      // no digit
        {"A1B.pdf", std::nullopt},                            // 3 bytes
        {"A123456789012345678901234.pdf", std::nullopt},      // 25 bytes
        {"A12345678901234567890123.pdf", "A12345678901234567890123"},  // 24 bytes
        {".LM358", "LM358"},                                   // a leading dot is no extension
        {"downloads/NE555P/", "NE555P"},                      // a folder named with a trailing slash
        {"LM\xFF" "358.pdf", std::nullopt},                    // not valid UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(import::infer_mpn(c.path), c.expected) << c.path;
    }
}

TEST(Provenance, DefaultFlagsMeanNoneAndTheSlugKeepsLettersAndDigits) {
    EXPECT_FALSE(import::provenance_from_flags("unknown", "unknown", ""));
    EXPECT_TRUE(import::provenance_from_flags("digikey", "unknown", ""));
    EXPECT_TRUE(import::provenance_from_flags("unknown", "unknown", "https://x"));
    struct Case {
        const char* discovery;
        const char* origin;
        const char* slug;
    };
    const Case cases[] = {
        {"Ultra Librarian", "", "ultralibrarian"},  // empty origin falls back to the discovery source
        {"digikey", "Vendor X-1", "vendorx1"},
        {"digikey", "unknown", "unknown"},
        {"x", "Qu-Arry", "quarry"},
        {"x", "Ünï", "n"},  // non-ASCII letters are dropped
    };
    for (const Case& c : cases) {
        EXPECT_EQ(import::origin_slug({c.discovery, c.origin, ""}), c.slug) << c.origin;
    }
}

TEST_F(ImportPipeline, RefusesMissingPathsUninferableNamesAndUnsafeMpns) {
    util::Result<import::ImportResult> missing = import::import_path(m_downloads / "none.pdf", std::nullopt, {});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, "path does not exist: " + (m_downloads / "none.pdf").string());

    write_file(m_downloads / "datasheet.pdf", k_pdf);
    util::Result<import::ImportResult> nameless = import::import_path(m_downloads / "datasheet.pdf", std::nullopt, {});
    ASSERT_FALSE(nameless);
    EXPECT_EQ(nameless.error().message,
              "could not infer MPN from path '" + (m_downloads / "datasheet.pdf").string() + "' — pass --mpn");

    for (const char* mpn : {"..", "../escaped", "a/b", ""}) {
        util::Result<import::ImportResult> unsafe = import::import_path(m_downloads / "datasheet.pdf", mpn, {});
        ASSERT_FALSE(unsafe) << mpn;
        EXPECT_EQ(unsafe.error().message.rfind("invalid MPN '" + std::string(mpn) + "'", 0), 0u)
            << unsafe.error().message;
    }
    EXPECT_FALSE(fs::exists(m_tmp.path() / "escaped"));
    EXPECT_FALSE(fs::exists(m_tmp.path() / "datasheet.pdf"));
    EXPECT_FALSE(fs::exists(m_lib));
}

TEST_F(ImportPipeline, StoresOneFileUnderItsMpnAndLogsTheCopy) {
    write_file(m_downloads / "LM358-datasheet.PDF", k_pdf + std::string(100, 'x'));
    util::Result<import::ImportResult> r = import::import_path(m_downloads / "LM358-datasheet.PDF", std::nullopt, {});
    ASSERT_TRUE(r) << r.error().message;
    EXPECT_EQ(r->mpn, "LM358");
    EXPECT_EQ(r->chip_dir, m_lib / "LM358");
    EXPECT_EQ(r->stored, std::vector<std::string>{"LM358.pdf"});
    EXPECT_EQ(read_file(m_lib / "LM358" / "LM358.pdf"), k_pdf + std::string(100, 'x'));

    json log = read_json(m_lib / "LM358" / "LM358-fetch-log.json");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0]["magic_ok"], true);
    EXPECT_EQ(log[0]["size_bytes"], k_pdf.size() + 100);
    EXPECT_EQ(log[0]["src_path"], (m_downloads / "LM358-datasheet.PDF").string());
    EXPECT_EQ(log[0]["target"], "LM358.pdf");
    EXPECT_GT(log[0]["at"].get<long long>(), 0);
    // Library files end without a newline; no provenance without flags.
    std::string text = read_file(m_lib / "LM358" / "LM358-fetch-log.json");
    EXPECT_NE(text.back(), '\n');
    EXPECT_FALSE(fs::exists(m_lib / "LM358" / "LM358-file-provenance.json"));
}

TEST_F(ImportPipeline, BadContentFailsWithTheCheckAsCauseAndCopiesNothing) {
    fs::path page = m_downloads / "x.pdf";
    write_file(page, "<!DOCTYPE html><html><head>");
    util::Result<import::ImportResult> r = import::import_path(page, "NE555", {});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "magic-byte check failed for " + page.string());
    ASSERT_EQ(r.error().causes.size(), 1u);
    EXPECT_EQ(r.error().causes[0],
              "file looks like HTML (probably a CDN denial / 404 page), not a pdf: " + page.string());
    EXPECT_TRUE(fs::is_directory(m_lib / "NE555"));
    EXPECT_TRUE(fs::is_empty(m_lib / "NE555"));
}

TEST_F(ImportPipeline, UnrecognisedFileStillCreatesTheChipFolder) {
    write_file(m_downloads / "notes.txt", "hello");
    util::Result<import::ImportResult> r = import::import_path(m_downloads / "notes.txt", "X", {});
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->stored.empty());
    EXPECT_TRUE(fs::is_directory(m_lib / "X"));
}

TEST_F(ImportPipeline, ReplacesACorruptLogAndListsRepeatedKindsPerCopy) {
    write_file(m_lib / "X" / "X-fetch-log.json", "{\"not\": \"an array\"}");
    write_file(m_downloads / "a" / "one.pdf", k_pdf + "one");
    write_file(m_downloads / "b" / "two.pdf", k_pdf + "two");
    util::Result<import::ImportResult> r = import::import_path(m_downloads, "X", {});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->stored, (std::vector<std::string>{"X.pdf", "X.pdf"}));
    json log = read_json(m_lib / "X" / "X-fetch-log.json");
    ASSERT_EQ(log.size(), 2u);
    // The last copy wins the stored name.
    std::string last = log[1]["src_path"];
    EXPECT_EQ(read_file(m_lib / "X" / "X.pdf"), read_file(last));
}

TEST_F(ImportPipeline, FollowsLinksInAUserFolderWithoutWalkingACycleTwice) {
    fs::path other = m_tmp.path() / "elsewhere";
    write_file(other / "NE555.step", k_step);
    write_file(m_tmp.path() / "private" / "sheet.pdf", k_pdf);
    write_file(m_downloads / "sub" / "NE555.kicad_mod", k_mod);
    fs::create_directory_symlink(m_downloads, m_downloads / "sub" / "back");   // a cycle
    fs::create_directory_symlink(m_downloads / "sub", m_downloads / "again");  // a second way in
    fs::create_directory_symlink(other, m_downloads / "models");
    fs::create_symlink(m_tmp.path() / "private" / "sheet.pdf", m_downloads / "NE555.pdf");

    util::Result<import::ImportResult> r = import::import_path(m_downloads, "NE555", {});
    ASSERT_TRUE(r) << r.error().message;
    std::vector<std::string> stored = r->stored;
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (std::vector<std::string>{"NE555.kicad_mod", "NE555.pdf", "NE555.step"}));
}

TEST_F(ImportPipeline, RecordsProvenanceAndPerOriginKicadCopies) {
    write_file(m_lib / "X" / "X-file-provenance.json",
               R"({"X.step": {"content_origin": "old", "discovery_source": "old", "fetched_at": 1, "url": ""}})");
    write_file(m_downloads / "s.kicad_sym", k_sym);
    write_file(m_downloads / "f.kicad_mod", k_mod);
    ASSERT_TRUE(import::import_path(m_downloads, "X", import::Provenance{"digikey", "Ultra Librarian", "https://u"}));

    json prov = read_json(m_lib / "X" / "X-file-provenance.json");
    EXPECT_EQ(prov["X.step"]["content_origin"], "old");  // other entries stay
    for (const char* name : {"X.kicad_sym", "X.kicad_mod"}) {
        ASSERT_TRUE(prov.contains(name)) << name;
        EXPECT_EQ(prov[name]["content_origin"], "Ultra Librarian");
        EXPECT_EQ(prov[name]["discovery_source"], "digikey");
        EXPECT_EQ(prov[name]["url"], "https://u");
        EXPECT_GT(prov[name]["fetched_at"].get<long long>(), 1);
    }
    EXPECT_EQ(read_file(m_lib / "X" / "X.ultralibrarian.kicad_sym"), k_sym);
    EXPECT_EQ(read_file(m_lib / "X" / "X.ultralibrarian.kicad_mod"), k_mod);

    // The extractor's own origin never gets per-origin copies.
    ASSERT_TRUE(import::import_path(m_downloads / "s.kicad_sym", "Y", import::Provenance{"x", "Quarry", ""}));
    EXPECT_TRUE(fs::exists(m_lib / "Y" / "Y-file-provenance.json"));
    EXPECT_FALSE(fs::exists(m_lib / "Y" / "Y.quarry.kicad_sym"));
}

TEST_F(ImportPipeline, UnreadableFolderFailsTheWalkWithItsPath) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every folder";
    }
    write_file(m_downloads / "locked" / "X1.step", k_step);
    fs::permissions(m_downloads / "locked", fs::perms::none);
    util::Result<import::ImportResult> r = import::import_path(m_downloads, "X1", {});
    fs::permissions(m_downloads / "locked", fs::perms::owner_all);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message.rfind("listing " + (m_downloads / "locked").string() + ": ", 0), 0u)
        << r.error().message;
}
