#include "bridge/skiff.hpp"

#include <gtest/gtest.h>

using namespace kestrel;

TEST(Base64Decode, DecodesPaddedWrappedAndShortInput) {
    struct Case {
        const char* name;
        std::string text;
        std::string bytes;
    };
    const Case cases[] = {
        {"plain", "JVBERi0xLjQK", "%PDF-1.4\n"},
        {"padding and white space anywhere", " JVBE\r\nRi0x\tLj\fQK==\n", "%PDF-1.4\n"},
        {"one padding char", "YWI=", "ab"},
        {"two padding chars", "YQ==", "a"},
        {"unpadded tail of three", "YWI", "ab"},
        {"unpadded tail of two", "YQ", "a"},
        {"a single leftover character is dropped", "YWJjZ", "abc"},
        {"exactly JVBERi: a final pair still gives a byte", "JVBERi", "%PDF"},
        {"all 256 byte values",
         "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9Q"
         "UVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn+AgYKDhIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6Ch"
         "oqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3Oz9DR0tPU1dbX2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy"
         "8/T19vf4+fr7/P3+/w==",
         [] {
             std::string all;
             for (int i = 0; i < 256; ++i) {
                 all += static_cast<char>(i);
             }
             return all;
         }()},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        util::Result<std::string> decoded = bridge::base64_decode(c.text);
        ASSERT_TRUE(decoded) << c.name << ": " << decoded.error().message;
        EXPECT_EQ(*decoded, c.bytes) << c.name;
    }
}

TEST(Base64Decode, NamesWhereTheGroupOfABadCharacterStarts) {
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"!AAA", "invalid char at byte 0"},
        {"AAAAAA-A", "invalid char at byte 4"},          // URL-safe alphabet is not accepted
        {"AA\nAA AA_A", "invalid char at byte 4"},     // position in the filtered text
        {"JVBERi0x<html>", "invalid char at byte 8"},
        {"AAAA\xC3\xA9", "invalid char at byte 4"},
    };
    for (const Case& c : cases) {
        util::Result<std::string> decoded = bridge::base64_decode(c.text);
        ASSERT_FALSE(decoded) << c.text;
        EXPECT_EQ(decoded.error().message, c.message) << c.text;
    }
}

TEST(SkiffExpressions, InsertValuesAsEscapedStringLiterals) {
    // Quote and backslash escaped, \n \r \t by name, other control bytes as \u{hex}.
    const std::string nasty = "A\"B\\C\nD\u00b5';</script>\r\t\x01\b\x1f";
    const std::string literal = R"("A\"B\\C\nDµ';</script>\r\t\u{1}\u{8}\u{1f}")";
    const std::string finder = bridge::anchor_finder_expr(nasty);
    EXPECT_EQ(finder.rfind("(()=>{const term=" + literal + ".toLowerCase();", 0), 0U) << finder;
    EXPECT_NE(finder.find("/datasheet|spec|文件|drawing/"), std::string::npos);
    EXPECT_NE(finder.find(".pdf"), std::string::npos);

    const std::string fetcher = bridge::fetcher_expr(nasty);
    EXPECT_NE(fetcher.find("fetch(" + literal + ",{credentials:'include'})"), std::string::npos) << fetcher;
    EXPECT_NE(fetcher.find("'http '+r.status"), std::string::npos);
    EXPECT_NE(fetcher.find("8192"), std::string::npos);
    EXPECT_NE(fetcher.find("btoa("), std::string::npos);
    // The value appears nowhere unescaped.
    EXPECT_EQ(finder.find("A\"B"), std::string::npos);
    EXPECT_EQ(fetcher.find('\n'), std::string::npos);
}
