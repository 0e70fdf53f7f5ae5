#include "library/chip.hpp"

#include "test_support.hpp"

using namespace kestrel;
using kestrel::testing::ScopedEnv;
using kestrel::testing::ScopedTempDir;
namespace fs = std::filesystem;

TEST(ChipPaths, UseTheMpnVerbatim) {
    ScopedEnv lib("KESTREL_LIB", "/lib");
    EXPECT_EQ(library::chip_dir("tps62840.ybgr µ"), fs::path("/lib/tps62840.ybgr µ"));
    EXPECT_EQ(library::info_path("A"), fs::path("/lib/A/info.json"));
    EXPECT_EQ(library::chip_file("A", "-fetch-log.json"), fs::path("/lib/A/A-fetch-log.json"));
}

TEST(MpnSafety, RefusesNamesThatEscapeOrNestFolders) {
    ScopedTempDir tmp;
    ScopedEnv lib("KESTREL_LIB", (tmp.path() / "lib").string());
    const std::string cases[] = {
        "",                          // names the library root itself
        ".",                         // same
        "..",                        // the library's parent
        "../x",                      // escapes the library
        "LM317T/NOPB",               // would nest folders
        std::string("A\0B", 3),      // a NUL byte cuts the name short in system calls
    };
    for (const std::string& mpn : cases) {
        util::Result<fs::path> made = library::ensure_chip_dir(mpn);
        ASSERT_FALSE(made) << mpn;
        EXPECT_EQ(made.error().message.rfind("invalid MPN '" + mpn + "': ", 0), 0u) << made.error().message;
        EXPECT_FALSE(library::chip_exists(mpn));
    }
    EXPECT_FALSE(fs::exists(tmp.path() / "lib"));
    EXPECT_FALSE(fs::exists(tmp.path() / "x"));
}

TEST(MpnSafety, KeepsEverythingElseVerbatim) {
    ScopedTempDir tmp;
    ScopedEnv lib("KESTREL_LIB", (tmp.path() / "lib").string());
    for (const std::string mpn : {"abc.def", "...", "a b", "Ω-7", "-x", "..a"}) {
        util::Result<fs::path> made = library::ensure_chip_dir(mpn);
        ASSERT_TRUE(made) << mpn;
        EXPECT_EQ(*made, tmp.path() / "lib" / mpn);
        EXPECT_TRUE(library::chip_exists(mpn));
    }
}

TEST(ChipRecord, StringFieldsNeedAnObjectAndAString) {
    using util::json;
    EXPECT_EQ(library::string_field(json::parse(R"({"a":"x"})"), "a"), "x");
    EXPECT_FALSE(library::string_field(json::parse(R"({"a":1})"), "a"));
    EXPECT_FALSE(library::string_field(json::parse(R"(["a"])"), "a"));
    EXPECT_FALSE(library::string_field(json(nullptr), "a"));
}
