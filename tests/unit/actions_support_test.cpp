// Request-reading rules of the dashboard's action routes and the viewer
// addresses they build.

#include <gtest/gtest.h>

#include "dashboard/actions_support.hpp"
#include "dashboard/actions_urls.hpp"
#include "test_support.hpp"

namespace kestrel::dashboard {
namespace {

using testing::ScopedEnv;

TEST(ActionsBody, ReadsOnlyStringMembersOfAnObject) {
    util::Result<Body> body = Body::parse(R"({"mpn":"ABC","kind":7,"source":null})");
    ASSERT_TRUE(body);
    EXPECT_EQ(body->field("mpn"), std::optional<std::string>("ABC"));
    EXPECT_EQ(body->field("kind"), std::nullopt);
    EXPECT_EQ(body->field("source"), std::nullopt);
    EXPECT_EQ(body->field("absent"), std::nullopt);

    // Valid JSON that is not an object has no fields at all.
    for (const char* text : {R"(["mpn","ABC"])", R"("ABC")", "3", "null"}) {
        util::Result<Body> other = Body::parse(text);
        ASSERT_TRUE(other) << text;
        EXPECT_EQ(other->field("mpn"), std::nullopt) << text;
    }
}

TEST(ActionsBody, InvalidJsonCarriesTheParserMessage) {
    for (const char* text : {"", "{", "{\"mpn\":}", "mpn=ABC", "{\"mpn\":\"\xff\"}"}) {
        util::Result<Body> body = Body::parse(text);
        ASSERT_FALSE(body) << text;
        EXPECT_TRUE(body.error().message.rfind("invalid json: ", 0) == 0) << body.error().message;
        EXPECT_GT(body.error().message.size(), std::string("invalid json: ").size());
    }
}

TEST(ActionsMpn, RefusesNamesThatLeaveOrMissTheChipFolder) {
    struct Case {
        std::string mpn;
        bool valid;
    };
    const Case cases[] = {
        {"TPS62840YBGR", true},
        {"LM 358.A-1", true},
        {"A.B", true},
        {"", false},
        {"a/b", false},
        {"..", false},
        {"A..B", false},           // any ".." at all
        {".", false},              // would name the library root itself
        {std::string("A\0B", 3), false},  // NUL cannot be part of a folder name
    };
    for (const Case& c : cases) {
        EXPECT_EQ(valid_body_mpn(c.mpn), c.valid) << c.mpn;
    }
}

TEST(ActionsAxis, AcceptsExactlyTheTwelveAxes) {
    for (const char* axis : {"x", "y", "z", "-x", "-y", "-z", "xup", "yup", "zup", "xdown", "ydown", "zdown"}) {
        EXPECT_TRUE(accepted_axis(axis)) << axis;
    }
    for (const char* axis : {"", "up", "Z", "+z", "-zup", "zup ", "w", "down"}) {
        EXPECT_FALSE(accepted_axis(axis)) << axis;
    }
}

TEST(ActionsRefetchQuery, LastPieceWinsAndOnlyTheFirstQueryCounts) {
    struct Case {
        const char* query;
        const char* format;
        const char* source;
    };
    const Case cases[] = {
        {"format=step&source=mouser", "step", "mouser"},
        {"source=lcsc&format=pdf", "pdf", "lcsc"},
        {"format=step", "step", ""},
        {"format=a&format=b&source=s", "b", "s"},
        {"format=step?source=mouser", "step", ""},         // text after a second '?' is ignored
        {"format=st%20ep&source=a+b", "st%20ep", "a+b"},   // values stay verbatim
        {"xformat=step&source=", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        RefetchQuery q = parse_refetch_query(c.query);
        EXPECT_EQ(q.format, c.format) << c.query;
        EXPECT_EQ(q.source, c.source) << c.query;
    }
}

TEST(ActionsCredentialHost, DecodesEscapesAndPlus) {
    struct Case {
        const char* raw;
        const char* host;
    };
    const Case cases[] = {
        {"my%20host", "my host"},
        {"a+b", "a b"},
        {"a%2Bb", "a+b"},          // an encoded plus stays a plus
        {"%2A.example.com", "*.example.com"},
        {"bad%zzhost", "bad%zzhost"},  // malformed escapes stay as they are
        {"trail%2", "trail%2"},
        {"ti", "ti"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decode_credential_host(c.raw), c.host) << c.raw;
    }
}

TEST(ActionsUrls, ViewerUrlFollowsTheProxyVariablesInOrder) {
    struct Case {
        std::optional<std::string> proxy_host;
        std::optional<std::string> slug;
        std::optional<std::string> vscode;
        std::string expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, std::nullopt, "http://127.0.0.1:8781/"},
        {"ws.example.net", "slug1", "https://x/{{port}}/", "https://ws.example.net/proxy/8781/"},
        {std::nullopt, "slug1", "https://x/{{port}}/", "https://" + container_proxy_host("slug1") + "/proxy/8781/"},
        {std::nullopt, std::nullopt, "https://x/proxy/{{port}}/?p={{port}}", "https://x/proxy/8781/?p=8781"},
        {std::nullopt, std::nullopt, "https://x/absolute/", "http://127.0.0.1:8781/"},  // no placeholder
        {"", "", std::nullopt, "http://127.0.0.1:8781/"},  // empty values count as unset
    };
    for (const Case& c : cases) {
        ScopedEnv a("VELM_PROXY_HOST", c.proxy_host);
        ScopedEnv b("VELM_CONTAINER_SLUG", c.slug);
        ScopedEnv d("VSCODE_PROXY_URI", c.vscode);
        EXPECT_EQ(viewer_url(8781), c.expected);
    }
}

TEST(ActionsUrls, DashboardBaseDropsTrailingSlashes) {
    ScopedEnv a("VELM_PROXY_HOST", std::nullopt);
    ScopedEnv b("VELM_CONTAINER_SLUG", std::nullopt);
    {
        ScopedEnv d("VSCODE_PROXY_URI", std::nullopt);
        EXPECT_EQ(dashboard_base_url(), "http://127.0.0.1:8786");
    }
    ScopedEnv d("VSCODE_PROXY_URI", "https://h/{{port}}//");
    EXPECT_EQ(dashboard_base_url(), "https://h/8786");
}

TEST(ActionsUrls, EncodingKeepsSlashAndColon) {
    EXPECT_EQ(url_encode_keep_slash("http://h:1/a b/ü~_-."), "http://h:1/a%20b/%C3%BC~_-.");
    EXPECT_EQ(url_encode_keep_slash("A&B?c=d#e%"), "A%26B%3Fc%3Dd%23e%25");
}

}  // namespace
}  // namespace kestrel::dashboard
