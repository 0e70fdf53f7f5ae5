#include "hints/hints.hpp"

#include "test_support.hpp"

using namespace kestrel;

namespace {

std::string hints_of(const std::string& event, const std::optional<std::string>& mpn) {
    ::testing::internal::CaptureStdout();
    hints::print_next_hints(event, mpn);
    return ::testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(NextHints, PrintsTwoLinesPerEventWithTheMpnFilledIn) {
    struct Case {
        const char* event;
        std::optional<std::string> mpn;
        const char* expected;
    };
    const Case cases[] = {
        // Events that need no MPN print their "<MPN>" placeholders as they stand.
        {"listed", std::nullopt,
         "HINT: inspect one: `kestrel status <MPN>`\nHINT: fetch a missing one: `kestrel fetch <MPN>`\n"},
        {"login", "X1",
         "HINT: after sign-in, heartbeat: `kestrel heartbeat <MPN> \"logged in to <source>\"`\n"
         "HINT: verify rails: `kestrel selfcheck`\n"},
        {"status", "LM358DR",
         "HINT: if anything is missing, fetch with `kestrel fetch LM358DR`\n"
         "HINT: heartbeat any user-visible action with `kestrel heartbeat LM358DR \"<stage>\"`\n"},
        {"pulled", "A B",
         "HINT: heartbeat: `kestrel heartbeat A B \"pulled to incoming\"`\n"
         "HINT: import next: `kestrel import <path> --mpn <MPN>`\n"},
        {"fetched", "Q",
         "HINT: heartbeat the result: `kestrel heartbeat Q imported`\nHINT: verify on disk: `kestrel status Q`\n"},
        // An MPN that itself looks like the placeholder is inserted once, verbatim.
        {"imported", "{mpn}",
         "HINT: heartbeat: `kestrel heartbeat {mpn} imported`\nHINT: dashboard view: `kestrel status {mpn}`\n"},
        // Needs an MPN but has none; other case; unknown; empty.
        {"status", std::nullopt, ""},
        {"imported", std::nullopt, ""},
        {"Imported", "X", ""},
        {"heartbeat", "X", ""},
        {"", "X", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hints_of(c.event, c.mpn), c.expected) << c.event;
    }
}
