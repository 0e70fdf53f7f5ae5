#include <optional>
#include <string>

#include "heartbeat/heartbeat.hpp"
#include "test_support.hpp"

using namespace kestrel;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::write_file;

TEST(HeartbeatRecord, IsCompactWithKeysInFixedOrderAndTextVerbatim) {
    util::Result<std::string> text =
        heartbeat::heartbeat_json({"A\"1\\", "say \"hi\"\n\xE2\x86\x92 \xC2\xB5", 1700000000});
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(*text, "{\"mpn\":\"A\\\"1\\\\\",\"stage\":\"say \\\"hi\\\"\\n\xE2\x86\x92 \xC2\xB5\",\"ts\":1700000000}");
}

TEST(HeartbeatRecord, InvalidUtf8CannotBeSerialised) {
    util::Result<std::string> text = heartbeat::heartbeat_json({"A", "bad \xFF byte", 1});
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.error().message, "serialising heartbeat");
}

TEST(HeartbeatRecord, ReadsOnlyWellFormedRecords) {
    struct Case {
        const char* content;  // nullptr: no file
        bool valid;
    };
    const Case cases[] = {
        {R"({"mpn":"X","stage":"downloading","ts":1700000000})", true},
        {R"({"ts":5,"stage":"","mpn":"","extra":[1]})", true},  // order and extra keys do not matter
        {nullptr, false},
        {"not json", false},
        {"[1,2]", false},
        {R"({"mpn":"X","stage":"s"})", false},
        {R"({"mpn":"X","stage":"s","ts":-1})", false},
        {R"({"mpn":"X","stage":"s","ts":1.5})", false},
        {R"({"mpn":"X","stage":"s","ts":"5"})", false},
        {R"({"mpn":7,"stage":"s","ts":5})", false},
        {R"({"mpn":"X","stage":null,"ts":5})", false},
    };
    for (const Case& c : cases) {
        ScopedTempDir tmp;
        const std::string path = (tmp.path() / "hb.json").string();
        if (c.content != nullptr) {
            write_file(path, c.content);
        }
        EXPECT_EQ(heartbeat::read_heartbeat_file(path).has_value(), c.valid) << (c.content ? c.content : "(none)");
    }
    ScopedTempDir tmp;
    write_file(tmp.path() / "hb.json", R"({"mpn":"A/B","stage":"say \"hi\"","ts":42})");
    std::optional<heartbeat::Heartbeat> hb = heartbeat::read_heartbeat_file((tmp.path() / "hb.json").string());
    ASSERT_TRUE(hb.has_value());
    EXPECT_EQ(hb->mpn, "A/B");
    EXPECT_EQ(hb->stage, "say \"hi\"");
    EXPECT_EQ(hb->ts, 42);
}

TEST(HeartbeatRecord, AgeNeverGoesNegative) {
    heartbeat::Heartbeat hb{"X", "s", 1000};
    EXPECT_EQ(heartbeat::heartbeat_age(hb, 1061), 61);
    EXPECT_EQ(heartbeat::heartbeat_age(hb, 1000), 0);
    EXPECT_EQ(heartbeat::heartbeat_age(hb, 900), 0);  // a record from the future
    EXPECT_EQ(heartbeat::heartbeat_age(hb, 0), 0);    // a clock before the epoch
}

TEST(HeartbeatRecord, StageFileNeverLeavesTmp) {
    EXPECT_EQ(heartbeat::stage_file_path("TPS62840"), "/tmp/kestrel-stage-TPS62840.json");
    EXPECT_EQ(heartbeat::stage_file_path(""), "/tmp/kestrel-stage-.json");
    EXPECT_EQ(heartbeat::stage_file_path("../../etc/x"), std::nullopt);
    EXPECT_EQ(heartbeat::stage_file_path(std::string("a\0b", 3)), std::nullopt);
}
