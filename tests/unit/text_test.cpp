#include "util/text.hpp"

#include <gtest/gtest.h>

using namespace kestrel::util;

TEST(Utf8Prefix, NeverSplitsACharacter) {
    struct Case {
        std::string text;
        size_t max;
        std::string want;
    } cases[] = {
        {"abc", 5, "abc"},               // shorter than the limit
        {"abcdef", 3, "abc"},            // plain cut
        {"ab\xC3\xA9", 3, "ab"},         // the limit falls inside a 2-byte character
        {"a\xE2\x80\x94z", 3, "a"},      // inside a 3-byte character
        {"a\xE2\x80\x94z", 4, "a\xE2\x80\x94"},
        {"\xF0\x9F\x98\x80", 3, ""},     // inside a 4-byte character at the start
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8_prefix(c.text, c.max), c.want) << c.text << " " << c.max;
    }
}

TEST(Utf8, ValidityAndLength) {
    EXPECT_TRUE(valid_utf8("µ—😀"));
    EXPECT_FALSE(valid_utf8("\xC3"));          // truncated
    EXPECT_FALSE(valid_utf8("\xC0\xAF"));      // overlong
    EXPECT_FALSE(valid_utf8("\xED\xA0\x80"));  // surrogate
    EXPECT_EQ(utf8_length("aµ—😀"), 4u);
    EXPECT_EQ(utf8_length("a\xFF"), 2u);       // a stray byte counts as one
    EXPECT_EQ(pad_right("µ", 3), "µ  ");       // padded by characters, not bytes
    EXPECT_EQ(pad_right("long", 2), "long");
}

TEST(PercentCoding, EncodesReservedBytesAndKeepsMalformedEscapes) {
    EXPECT_EQ(percent_encode("A b/µ~"), "A%20b%2F%C2%B5~");
    EXPECT_EQ(percent_decode("a%2Fb%2fc"), "a/b/c");
    EXPECT_EQ(percent_decode("100%"), "100%");
    EXPECT_EQ(percent_decode("%zz%4"), "%zz%4");
    EXPECT_EQ(percent_decode("%252e"), "%2e");  // one level only
}

TEST(JsString, IsASafeLiteral) {
    EXPECT_EQ(js_string("a\"b\\c\n"), R"("a\"b\\c\n")");
    EXPECT_EQ(js_string("x\xE2\x80\xA8y"), R"("x\u2028y")");
    EXPECT_EQ(replace_all("{m}-{m}", "{m}", "{m}{m}"), "{m}{m}-{m}{m}");
}
