#include "library/ledger.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include "library/chip.hpp"
#include "test_support.hpp"

using namespace kestrel;
using kestrel::testing::ScopedEnv;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::read_file;
using kestrel::testing::write_file;
using library::ChainEntry;
using util::json;
namespace fs = std::filesystem;

namespace {

class LedgerTest : public ::testing::Test {
protected:
    ScopedTempDir m_tmp;
    ScopedEnv m_lib{"KESTREL_LIB", (m_tmp.path() / "library").string()};

    fs::path info(const std::string& mpn) { return m_tmp.path() / "library" / mpn / "info.json"; }
    json read_info(const std::string& mpn) { return json::parse(read_file(info(mpn))); }
};

std::string describe(const ChainEntry& e) {
    return e.source + "|" + (e.note ? *e.note : "<none>") + "|" + e.outcome + "|" + std::to_string(e.at);
}

}  // namespace

TEST(ParseChain, ReadsEveryElementFormAndSkipsTheRest) {
    struct Case {
        const char* element;   // one element of fetched_via_chain
        const char* expected;  // source|note|outcome|at, or "" when skipped
    };
    const Case cases[] = {
        // Full objects; extra members are ignored, a null note is no note.
        {R"({"source":"mouser","outcome":"OK","at":17,"note":"page","extra":[1]})", "mouser|page|OK|17"},
        {R"({"source":"mouser","outcome":"OK","at":17,"note":null})", "mouser|<none>|OK|17"},
        {R"({"source":"mouser","outcome":"OK","at":17})", "mouser|<none>|OK|17"},
        // Missing or mistyped members make an object unusable.
        {R"({"source":"mouser","outcome":"empty"})", ""},
        {R"({"outcome":"empty","at":1})", ""},
        {R"({"source":"mouser","at":1})", ""},
        {R"({"source":3,"outcome":"OK","at":1})", ""},
        {R"({"source":"mouser","outcome":"OK","at":"1"})", ""},
        {R"({"source":"mouser","outcome":"OK","at":1.5})", ""},
        {R"({"source":"mouser","outcome":"OK","at":1,"note":7})", ""},
        {R"({"source":"mouser","outcome":"OK","at":18446744073709551615})", ""},
        // Older strings: source:note:outcome, extra pieces ignored.
        {R"("mouser:search page:empty")", "mouser|search page|empty|0"},
        {R"("mouser")", "mouser|<none>|?|0"},
        {R"("mouser:note only")", "mouser|note only|?|0"},
        {R"("a:b:c:d:e")", "a|b|c|0"},
        {R"("mouser::404")", "mouser||404|0"},
        {R"("")", "|<none>|?|0"},
        // Anything else is invisible.
        {"null", ""},
        {"42", ""},
        {"[\"mouser\",\"OK\"]", ""},
        {"true", ""},
    };
    for (const Case& c : cases) {
        std::vector<ChainEntry> got = library::parse_chain(json::array({json::parse(c.element)}));
        if (std::string(c.expected).empty()) {
            EXPECT_TRUE(got.empty()) << c.element;
        } else {
            ASSERT_EQ(got.size(), 1u) << c.element;
            EXPECT_EQ(describe(got[0]), c.expected) << c.element;
        }
    }
    // A value that is not an array holds no entries.
    EXPECT_TRUE(library::parse_chain(json("mouser:x:OK")).empty());
}

TEST_F(LedgerTest, ReadChainIsEmptyForMissingOrCorruptRecordsAndFailsWhenUnreadable) {
    const char* empty_records[] = {"not json", "[1,2]", "null", R"({"mpn":"A"})", R"({"fetched_via_chain":"mouser:x:OK"})"};
    for (const char* text : empty_records) {
        write_file(info("A"), text);
        util::Result<std::vector<ChainEntry>> chain = library::read_chain("A");
        ASSERT_TRUE(chain) << text;
        EXPECT_TRUE(chain->empty()) << text;
    }
    EXPECT_TRUE(library::read_chain("missing")->empty());
    EXPECT_TRUE(library::read_chain("../escape")->empty());

    fs::create_directories(info("D"));  // a folder where the record should be
    util::Result<std::vector<ChainEntry>> broken = library::read_chain("D");
    ASSERT_FALSE(broken);
    EXPECT_NE(broken.error().message.find("info.json"), std::string::npos);
}

TEST_F(LedgerTest, FirstAppendCreatesTheFolderAndAMinimalRecord) {
    util::Result<bool> appended = library::append_chain_entry("lm358.dr", 0, "attempted", "auto-probe");
    ASSERT_TRUE(appended);
    EXPECT_TRUE(*appended);
    json doc = read_info("lm358.dr");
    EXPECT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc["mpn"], "lm358.dr");
    ASSERT_EQ(doc["fetched_via_chain"].size(), 1u);
    const json& entry = doc["fetched_via_chain"][0];
    EXPECT_EQ(entry["source"], "manufacturer");
    EXPECT_EQ(entry["outcome"], "attempted");
    EXPECT_EQ(entry["note"], "auto-probe");
    EXPECT_GT(entry["at"].get<long long>(), 1600000000);
    // Written with sorted keys, a two-space indent and no trailing newline.
    const std::string text = read_file(info("lm358.dr"));
    EXPECT_EQ(text, doc.dump(2));
    EXPECT_LT(text.find("\"at\""), text.find("\"note\""));
}

TEST_F(LedgerTest, AppendKeepsOneEntryPerSourceAndOutcome) {
    struct Step {
        size_t index;
        const char* outcome;
        const char* note;
        bool appended;
    };
    const Step steps[] = {
        {0, "attempted", "first", true},
        {0, "attempted", "other note", false},  // same source and outcome: nothing written
        {0, "OK", nullptr, true},               // same source, new outcome
        {2, "OK", nullptr, true},               // new source, same outcome
        {2, "ok", nullptr, true},               // outcomes compare case-sensitively
        {6, "attempted", nullptr, true},
    };
    for (const Step& s : steps) {
        std::optional<std::string> note = s.note ? std::optional<std::string>(s.note) : std::nullopt;
        util::Result<bool> r = library::append_chain_entry("A", s.index, s.outcome, note);
        ASSERT_TRUE(r);
        EXPECT_EQ(*r, s.appended) << s.index << " " << s.outcome;
    }
    std::vector<ChainEntry> chain = *library::read_chain("A");
    ASSERT_EQ(chain.size(), 5u);
    EXPECT_EQ(describe(chain[0]).substr(0, 28), "manufacturer|first|attempted");
    EXPECT_FALSE(chain[1].note.has_value());
    EXPECT_EQ(chain[4].source, "lcsc");
    EXPECT_EQ(library::last_chain_source("A"), "lcsc");
    EXPECT_FALSE(library::append_chain_entry("A", 7, "OK"));
}

TEST_F(LedgerTest, AppendTreatsOddRecordsAsTheReadersDo) {
    struct Case {
        const char* record;          // info.json before the append of (mouser, "empty")
        size_t entries_after;        // elements of fetched_via_chain afterwards
        const char* kept_key;        // a key that must survive, or nullptr
    };
    const Case cases[] = {
        // An entry without `at` is invisible to de-duplication, but stays in the file.
        {R"({"fetched_via_chain":[{"source":"mouser","outcome":"empty"}]})", 2, nullptr},
        // Unusable elements stay where they are; a readable string form does de-duplicate.
        {R"({"fetched_via_chain":[null,7,"mouser:x:empty"],"family":"opamp"})", 3, "family"},
        // A non-array ledger is replaced by a one-element array; agent keys survive.
        {R"({"fetched_via_chain":"mouser:x:OK","zz_agent":{"k":1},"manufacturer":"TI"})", 1, "zz_agent"},
        // Records that are not objects start afresh.
        {"[1,2,3]", 1, "mpn"},
        {"null", 1, "mpn"},
        {"not json {", 1, "mpn"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string mpn = "C" + std::to_string(n++);
        write_file(info(mpn), c.record);
        ASSERT_TRUE(library::append_chain_entry(mpn, 2, "empty", "search page")) << c.record;
        json doc = read_info(mpn);
        ASSERT_TRUE(doc["fetched_via_chain"].is_array()) << c.record;
        EXPECT_EQ(doc["fetched_via_chain"].size(), c.entries_after) << c.record;
        if (c.kept_key) {
            EXPECT_TRUE(doc.contains(c.kept_key)) << c.record;
        }
    }
    // A record that cannot be read is an error, and nothing is written.
    fs::create_directories(info("D"));
    EXPECT_FALSE(library::append_chain_entry("D", 0, "OK"));
    EXPECT_TRUE(fs::is_directory(info("D")));
    // An MPN that would leave the library creates nothing.
    EXPECT_FALSE(library::append_chain_entry("../outside", 0, "OK"));
    EXPECT_FALSE(fs::exists(m_tmp.path() / "outside"));
}

TEST_F(LedgerTest, TwentyConcurrentAppendsAllLand) {
    constexpr int k_writers = 20;
    ASSERT_TRUE(library::ensure_chip_dir("RACE"));
    // Every child blocks on the pipe until the parent closes it, so all twenty
    // read-modify-writes start together.
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < k_writers; ++i) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(gate[1]);
            char byte;
            while (::read(gate[0], &byte, 1) > 0) {
            }
            util::Result<bool> r = library::append_chain_entry("RACE", 3, "outcome-" + std::to_string(i));
            ::_exit(r && *r ? 0 : 1);
        }
        children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<ChainEntry> chain = *library::read_chain("RACE");
    ASSERT_EQ(chain.size(), static_cast<size_t>(k_writers));
    std::set<std::string> outcomes;
    for (const ChainEntry& e : chain) {
        outcomes.insert(e.outcome);
    }
    EXPECT_EQ(outcomes.size(), static_cast<size_t>(k_writers));
}
