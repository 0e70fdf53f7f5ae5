#include "bridge/scrape.hpp"

#include <gtest/gtest.h>

#include "bridge/text.hpp"

using namespace kestrel;

TEST(ScrapeStages, CutsFallOnCharacterBoundaries) {
    const std::string url49 = "https://x.com/" + std::string(35, 'a');  // 49 bytes
    const std::string expr40(40, 'e');
    struct Case {
        const char* name;
        std::string stage;
        std::string expected;
    };
    const Case cases[] = {
        {"navigate: 50 bytes kept", bridge::navigate_stage(url49 + "bc", std::nullopt), "navigating " + url49 + "b"},
        {"navigate: a 2-byte char across byte 50 is dropped whole",
         bridge::navigate_stage(url49 + "\u00e9z", std::nullopt), "navigating " + url49},
        {"navigate: --stage verbatim however long",
         bridge::navigate_stage(url49 + url49, std::string(300, 's') + "\"\\\n"), std::string(300, 's') + "\"\\\n"},
        {"open: 60 bytes kept, nothing appended", bridge::open_stage(url49 + "0123456789abc"),
         "scrape: opening " + url49 + "0123456789a"},
        {"open: a 3-byte char across byte 60 is dropped whole",
         bridge::open_stage(url49 + "0123456789\u20ac"), "scrape: opening " + url49 + "0123456789"},
        {"eval: 40 bytes shown whole", bridge::eval_stage(expr40), "scrape eval: " + expr40},
        {"eval: 45 bytes cut to 40 plus an ellipsis", bridge::eval_stage(expr40 + "fffff"),
         "scrape eval: " + expr40 + "\u2026"},
        {"eval: a 4-byte char across byte 40", bridge::eval_stage(std::string(38, 'e') + "\U0001F600x"),
         "scrape eval: " + std::string(38, 'e') + "\u2026"},
        {"screenshot", bridge::screenshot_stage(), "scrape: taking screenshot"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.stage, c.expected) << c.name;
    }
}

TEST(ScrapeEvalDisplay, ShowsTheResultMemberAsSortedPrettyJson) {
    struct Case {
        const char* out;
        const char* shown;
    };
    const Case cases[] = {
        {R"({"result":{"z":1,"a":[true,"x"],"m":{}}})",
         "{\n  \"a\": [\n    true,\n    \"x\"\n  ],\n  \"m\": {},\n  \"z\": 1\n}"},
        {R"({"result":"say \"hi\"\n"})", R"("say \"hi\"\n")"},
        {R"({"result":"µ"})", "\"µ\""},
        {R"({"result":null})", "null"},
        {R"({"value":3})", "null"},
        {R"([{"result":1}])", "null"},
        {"", "null"},
        {"not json", "null"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bridge::eval_display(c.out), c.shown) << c.out;
    }
}

TEST(BridgeText, QuotesWithBackslashEscapesAndReplacesBadBytes) {
    EXPECT_EQ(bridge::quoted("kestrel"), "\"kestrel\"");
    EXPECT_EQ(bridge::quoted("a\"b\\c\nd\te\x01µ"), "\"a\\\"b\\\\c\\nd\\te\\u{1}µ\"");
    EXPECT_EQ(bridge::quoted("\xff"), "\"\xEF\xBF\xBD\"");
    EXPECT_EQ(bridge::lossy_utf8("ok \xE2\x82 \xF0\x9F\x98\x80"), "ok \xEF\xBF\xBD\xEF\xBF\xBD \xF0\x9F\x98\x80");
}
