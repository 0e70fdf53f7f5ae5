#include <optional>
#include <string>
#include <utility>

#include "heartbeat/heartbeat.hpp"
#include "test_support.hpp"

using namespace kestrel;

namespace {

struct PhaseCase {
    const char* stage;
    std::optional<int> phase;
};

struct ChainCase {
    const char* stage;
    const char* source;   // nullptr: no entry
    const char* outcome;
};

}  // namespace

TEST(StagePhase, FirstMatchingRowWinsCaseInsensitively) {
    const PhaseCase cases[] = {
        {"queued", 0},
        {"starting download", 0},          // "starting" is tried before "downloading"
        {"Navigating Mouser search", 1},   // ASCII letters fold
        {"trying digikey, found it", 1},   // probing row comes before found
        {"found it", 2},
        {"identified the package", 2},
        {"downloading STEP", 3},
        {"polling downloads", 3},
        {"fetching datasheet", 3},
        {"copying from desktop", 4},
        {"PULLING", 4},
        {"importing", 5},
        {"imported", 6},
        {"batch complete", 6},
        {"\xC3\xA9tape done", 6},          // multi-byte text around a keyword
        {"captcha solved", std::nullopt},
        {"", std::nullopt},
    };
    for (const PhaseCase& c : cases) {
        EXPECT_EQ(heartbeat::stage_phase(c.stage), c.phase) << c.stage;
    }
}

TEST(StagePhase, NamesPhasesAndMarksUnknownNumbers) {
    EXPECT_EQ(heartbeat::phase_name(0), "queued");
    EXPECT_EQ(heartbeat::phase_name(3), "downloading");
    EXPECT_EQ(heartbeat::phase_name(6), "imported");
    EXPECT_EQ(heartbeat::phase_name(7), "?");
    EXPECT_EQ(heartbeat::phase_name(18446744073709551615ULL), "?");
}

TEST(StageChainEntry, ReadsSourceAndOutcomeFromTheLabel) {
    const ChainCase cases[] = {
        {"navigating mouser search", "mouser", "attempted"},
        {"trying digikey, blocked by captcha", "digikey", "blocked"},  // a result beats "trying"
        {"probing snapmagic", nullptr, nullptr},                       // still under way
        {"falling to lcsc", nullptr, nullptr},
        {"downloading STEP", nullptr, nullptr},                        // no source named
        {"manufacturer page 404", "manufacturer", "404"},
        {"mfr site not found", "manufacturer", "404"},
        {"st.com datasheet download ok", "manufacturer", "OK"},
        {"TI product page imported", "manufacturer", "OK"},            // "ti " names the maker
        {"trying www.analog.com, no results", "manufacturer", "empty"},
        {"trying mouser.com, empty", "mouser", "empty"},               // a distributor's .com is not the maker
        {"microchip via lcsc", "manufacturer", "attempted"},           // maker rules come first
        {"SnapEDA symbol imported", "snapmagic", "OK"},
        {"mouser, lcsc", "mouser", "attempted"},                       // table order among distributors
        {"Ultra Librarian not_carried", "cse_ul", "empty"},
        {"arrow cdn wall", "arrow", "blocked"},
        {"mouser ok", "mouser", "attempted"},                          // " ok " needs a blank after it
        {"mouser result ok now", "mouser", "OK"},
        {"lcsc \"quoted\" \\ path", "lcsc", "attempted"},
    };
    for (const ChainCase& c : cases) {
        std::optional<std::pair<std::string, std::string>> got = heartbeat::stage_chain_entry(c.stage);
        if (c.source == nullptr) {
            EXPECT_FALSE(got.has_value()) << c.stage;
            continue;
        }
        ASSERT_TRUE(got.has_value()) << c.stage;
        EXPECT_EQ(got->first, c.source) << c.stage;
        EXPECT_EQ(got->second, c.outcome) << c.stage;
    }
}
