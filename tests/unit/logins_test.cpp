#include "sources/logins.hpp"

#include <gtest/gtest.h>

#include "util/text.hpp"

using namespace kestrel;

TEST(LoginCatalog, SlugsAndAliasesMatchExactly) {
    struct Case {
        const char* word;
        const char* slug;  // nullptr: no entry
    };
    const Case cases[] = {
        {"google", "google"}, {"ultralibrarian", "ultralib"}, {"snapmagic", "snapeda"},
        {"samacsys", "componentsearch"}, {"TI", nullptr}, {"", nullptr}, {"list", nullptr}, {"ti ", nullptr},
    };
    for (const Case& c : cases) {
        std::optional<sources::LoginSource> found = sources::find_login_source(c.word);
        if (c.slug == nullptr) {
            EXPECT_FALSE(found) << c.word;
        } else {
            ASSERT_TRUE(found) << c.word;
            EXPECT_EQ(found->slug, c.slug);
        }
    }
}

TEST(LoginCatalog, EveryPageIsAnHttpsSignInPage) {
    ASSERT_EQ(sources::login_sources().size(), 7U);
    for (const sources::LoginSource& s : sources::login_sources()) {
        EXPECT_TRUE(util::starts_with(s.url, "https://")) << s.url;
        EXPECT_LE(s.slug.size(), 18U);
    }
}
