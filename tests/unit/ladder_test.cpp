#include "sources/ladder.hpp"

#include "library/ledger.hpp"
#include "test_support.hpp"

using namespace kestrel;
using library::ChainEntry;
using kestrel::testing::ScopedEnv;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::write_file;
namespace fs = std::filesystem;

TEST(Ladder, RungsAreTheLedgerSlugsInOrder) {
    const std::vector<sources::Rung>& rungs = sources::ladder();
    ASSERT_EQ(rungs.size(), library::k_ladder_size);
    for (size_t i = 0; i < rungs.size(); ++i) {
        EXPECT_EQ(rungs[i].slug, library::k_ladder_slugs[i]);
        EXPECT_FALSE(rungs[i].site.empty());
    }
}

TEST(ParseSourceSlug, AcceptsSlugsAndOtherNamesInAnyCase) {
    const std::pair<const char*, size_t> accepted[] = {
        {"manufacturer", 0}, {"MFR", 0},    {"SnapMagic", 1}, {"snapeda", 1}, {"mouser", 2}, {"DigiKey", 3},
        {"arrow", 4},        {"cse_ul", 5}, {"CSE", 5},       {"UL", 5},      {"UltraLibrarian", 5}, {"lcsc", 6},
    };
    for (const auto& [text, index] : accepted) {
        util::Result<size_t> got = sources::parse_source_slug(text);
        ASSERT_TRUE(got) << text;
        EXPECT_EQ(*got, index) << text;
    }
    for (const char* text : {"ultra librarian", "cseul", "", "mouser ", "vendor"}) {
        util::Result<size_t> got = sources::parse_source_slug(text);
        ASSERT_FALSE(got) << text;
        EXPECT_EQ(got.error().message, "unknown source slug " + std::string(text) +
                                           "; valid: manufacturer, snapmagic, mouser, digikey, arrow, cse_ul, lcsc");
    }
}

TEST(SourceSearchUrl, FillsEachSitesSearchPageWithSpacesEscaped) {
    const std::pair<size_t, const char*> cases[] = {
        {1, "https://www.snapeda.com/search/?q=AB%2012&active=part"},
        {2, "https://www.mouser.com/c/?q=AB%2012"},
        {3, "https://www.digikey.com/en/products/result?keywords=AB%2012"},
        {4, "https://www.arrow.com/en/categories/connectors?q=AB%2012"},
        {5, "https://componentsearchengine.com/search/AB%2012"},
        {6, "https://www.lcsc.com/search?q=AB%2012"},
    };
    for (const auto& [index, url] : cases) {
        util::Result<std::string> got = sources::source_search_url(index, "AB 12");
        ASSERT_TRUE(got) << index;
        EXPECT_EQ(*got, url);
    }
    // Only spaces are escaped on the distributors' pages.
    EXPECT_EQ(*sources::source_search_url(2, "A#B/1&x"), "https://www.mouser.com/c/?q=A#B/1&x");
    // The manufacturer's page comes from the manufacturer table.
    util::Result<std::string> ti = sources::source_search_url(0, "LM358");
    ASSERT_TRUE(ti);
    EXPECT_NE(ti->find("LM358"), std::string::npos);
    util::Result<std::string> unknown = sources::source_search_url(0, "XYZ123");
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().message,
              "could not infer manufacturer for XYZ123; pass an explicit URL via --source mouser/digikey/etc.");
    EXPECT_FALSE(sources::source_search_url(7, "X"));
}

TEST(NextRung, CountsOnlyRealOutcomesUnderTheirNormalisedSlugs) {
    auto entry = [](const char* source, const char* outcome) { return ChainEntry{source, outcome, std::nullopt, 0}; };
    const std::vector<ChainEntry> six_rungs = {entry("manufacturer", "empty"), entry("snapmagic", "404"),
                                               entry("mouser", "empty"), entry("digikey", "blocked"),
                                               entry("arrow", "empty"), entry("cse_ul", "html_masquerade")};
    struct Case {
        const char* what;
        std::vector<ChainEntry> entries;
        size_t next;
    };
    std::vector<Case> cases = {
        {"empty ledger", {}, 0},
        {"an opened page is not a try", {entry("manufacturer", "attempted")}, 0},
        {"a recorded outcome moves on", {entry("manufacturer", "attempted"), entry("manufacturer", "empty")}, 1},
        {"aliases in any case", {entry("MFR", "OK"), entry("SnapEDA", "404")}, 2},
        {"UL counts as cse_ul", {entry("mfr", "x"), entry("snapeda", "x"), entry("mouser", "x"), entry("DigiKey", "x"),
                                 entry("arrow", "x"), entry("UL", "x")}, 6},
        {"a name with a space is no rung", {entry("mfr", "x"), entry("snapeda", "x"), entry("mouser", "x"),
                                            entry("digikey", "x"), entry("arrow", "x"), entry("Ultra Librarian", "x")}, 5},
        {"outcome case matters", {entry("manufacturer", "Attempted")}, 1},
        {"lcsc first does not skip rungs", {entry("lcsc", "OK")}, 0},
        {"a gap is found", {entry("manufacturer", "OK"), entry("mouser", "OK")}, 1},
        {"all six above lcsc", six_rungs, 6},
    };
    std::vector<ChainEntry> exhausted = six_rungs;
    exhausted.push_back(entry("lcsc", "empty"));
    cases.push_back({"exhausted", exhausted, sources::k_ladder_exhausted});
    std::vector<ChainEntry> lcsc_opened = six_rungs;
    lcsc_opened.push_back(entry("lcsc", "attempted"));
    cases.push_back({"lcsc only opened", lcsc_opened, 6});

    for (const Case& c : cases) {
        EXPECT_EQ(sources::next_rung(c.entries), c.next) << c.what;
    }
    EXPECT_EQ(sources::tried_sources({entry("CSE", "OK"), entry("Foo", "OK"), entry("ul", "attempted")}),
              (std::set<std::string>{"cse_ul", "foo"}));
}

TEST(NextSource, ReadsTheLedgerAndFailsOnlyWhenTheRecordIsUnreadable) {
    ScopedTempDir tmp;
    ScopedEnv lib("KESTREL_LIB", (tmp.path() / "library").string());
    EXPECT_EQ(*sources::next_source("NOPE"), 0u);
    write_file(tmp.path() / "library" / "BAD" / "info.json", "{not json");
    EXPECT_EQ(*sources::next_source("BAD"), 0u);
    ASSERT_TRUE(library::append_chain_entry("A", 0, "empty"));
    ASSERT_TRUE(library::append_chain_entry("A", 1, "attempted"));
    EXPECT_EQ(*sources::next_source("A"), 1u);
    fs::create_directories(tmp.path() / "library" / "DIR" / "info.json");
    EXPECT_FALSE(sources::next_source("DIR"));
}
