#include "serve/router.hpp"

#include <gtest/gtest.h>

#include "serve/activity.hpp"
#include "serve/library_routes.hpp"

using kestrel::serve::ActivityStore;
using kestrel::serve::Reply;
using kestrel::serve::Request;
using kestrel::serve::split_target;

TEST(RoutingTarget, DropsQueryAndOwnProxyPrefixWithoutDecoding) {
    struct Case {
        const char* target;
        const char* path;
        const char* query;
    };
    const Case cases[] = {
        {"/api/library", "/api/library", ""},
        {"/thumb/ABC/symbol?t=123", "/thumb/ABC/symbol", "t=123"},
        {"/api/refetch/X?format=step&source=mouser?z", "/api/refetch/X", "format=step&source=mouser?z"},
        {"/proxy/8786/api/library", "/api/library", ""},
        {"/proxy/8786", "/", ""},
        {"/proxy/8786?x=1", "/", "x=1"},
        {"/proxy/8786/", "/", ""},
        {"/proxy/9999/api/library", "/proxy/9999/api/library", ""},  // another port's prefix stays
        {"/proxy/87861/api/library", "/proxy/87861/api/library", ""},
        {"/asset/A%2FB/x%2e%2e", "/asset/A%2FB/x%2e%2e", ""},
        {"", "/", ""},
    };
    for (const Case& c : cases) {
        auto routed = split_target(c.target, 8786);
        EXPECT_EQ(routed.path, c.path) << c.target;
        EXPECT_EQ(routed.query, c.query) << c.target;
    }
}

TEST(RouteTable, RefusesBeforeRoutingAndAnswersUnlistedRequestsWithNotFound) {
    struct Case {
        const char* method;
        const char* path;
        const char* host;
        const char* origin;  // nullptr: absent
        bool loopback;
        int status;
        const char* body;
    };
    const Case cases[] = {
        {"HEAD", "/", "127.0.0.1:8786", nullptr, true, 404, "not found"},
        {"PUT", "/api/activity", "127.0.0.1:8786", nullptr, true, 404, "not found"},
        {"PATCH", "/api/activity", "127.0.0.1:8786", nullptr, true, 404, "not found"},
        {"OPTIONS", "/api/library", "127.0.0.1:8786", nullptr, true, 404, "not found"},
        {"GET", "/api/nothing", "127.0.0.1:8786", nullptr, true, 404, "not found"},
        {"GET", "/api/library/", "127.0.0.1:8786", nullptr, true, 404, "not found"},  // exact paths match whole
        {"DELETE", "/api/credentials", "127.0.0.1:8786", nullptr, true, 404, "not found"},
        {"GET", "/api/library", "attacker.example:8786", nullptr, true, 403, R"({"error":"host not allowed"})"},
        {"POST", "/api/activity", "127.0.0.1:8786", "https://attacker.example", true, 403,
         R"({"error":"cross-origin request refused"})"},
        {"GET", "/api/credentials", "192.168.1.20:8786", nullptr, false, 403,
         R"({"error":"credentials are only served to this machine"})"},
        {"DELETE", "/api/credentials/ti", "192.168.1.20:8786", nullptr, false, 403,
         R"({"error":"credentials are only served to this machine"})"},
        {"POST", "/api/activity", "127.0.0.1:8786", "http://127.0.0.1:8786", true, 200, R"({"ok":true})"},
    };
    for (const Case& c : cases) {
        Request request;
        request.method = c.method;
        request.path = c.path;
        request.target = c.path;
        request.headers["host"] = c.host;
        if (c.origin != nullptr) {
            request.headers["origin"] = c.origin;
        }
        request.peer_loopback = c.loopback;
        request.body = R"({"mpn":"X","stage":"s","ts":1})";
        Reply reply = kestrel::serve::route_request(request, {});
        EXPECT_EQ(reply.status, c.status) << c.method << " " << c.path;
        EXPECT_EQ(reply.body, c.body) << c.method << " " << c.path;
    }
}

TEST(ActivitySlot, StoresRawTextAndAddsAgeOnRead) {
    ActivityStore store;
    Request get;
    EXPECT_EQ(get_activity(get, store, 100).body, "{}");

    Request post;
    post.body = "{ \"stage\" : \"downloading\", \"mpn\":\"A\" }";
    Reply stored = post_activity(post, store, 100);
    EXPECT_EQ(stored.status, 200);
    EXPECT_EQ(stored.body, R"({"ok":true})");
    EXPECT_EQ(store.snapshot()->body, post.body);  // kept verbatim
    EXPECT_EQ(get_activity(get, store, 103).body,
              R"({"_age_seconds":3,"_received_at":100,"mpn":"A","stage":"downloading"})");
    // A clock that reads earlier than the post (or failed, reading 0) gives age 0.
    EXPECT_EQ(get_activity(get, store, 0).body, R"({"_age_seconds":0,"_received_at":100,"mpn":"A","stage":"downloading"})");

    for (const char* bad : {"", "{", "not json", "{\"a\":1} trailing"}) {
        post.body = bad;
        Reply refused = post_activity(post, store, 200);
        EXPECT_EQ(refused.status, 400) << bad;
        EXPECT_EQ(refused.body, R"({"error":"invalid json"})");
    }
    EXPECT_EQ(store.snapshot()->received_at, 100);  // unchanged by refusals

    post.body = "[1, 2]";
    post_activity(post, store, 300);
    Reply array = get_activity(get, store, 301);
    EXPECT_EQ(array.body, "[1, 2]");
    EXPECT_EQ(array.content_type, "application/json");
}

TEST(FileRoutes, TypesAssetsByExtensionAndMapsThumbnailKinds) {
    using kestrel::serve::asset_content_type;
    using kestrel::serve::thumb_file;
    EXPECT_EQ(asset_content_type("X.kicad_sym"), "text/plain; charset=utf-8");
    EXPECT_EQ(asset_content_type("X.v2.STEP"), "application/STEP");
    EXPECT_EQ(asset_content_type("X.jpeg"), "image/jpeg");
    EXPECT_EQ(asset_content_type("X.html"), "text/html; charset=utf-8");
    EXPECT_EQ(asset_content_type("Makefile"), "application/octet-stream");
    EXPECT_EQ(asset_content_type("X.zip"), "application/octet-stream");

    struct Case {
        const char* kind;
        const char* file;  // "" for not found
    };
    const Case cases[] = {
        {"symbol", "A-symbol.svg"},
        {"footprint.quarry", "A-footprint.quarry.svg"},
        {"symbol.snapmagic", "A-symbol.snapmagic.svg"},
        {"chip3d", "A-3d-iso.png"},
        {"chip3d-lg", "A-3d-iso-lg.png"},
        {"chip3d-zdown-lg", "A-3d-iso-zdown-lg.png"},
        {"chip3d-zup", ""},  // the z axis has only its down variants
        {"chip3d-zup-lg", ""},
        {"footprint.a..b", ""},
        {"symbols", ""},
        {"3d", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thumb_file("A", c.kind).name, c.file) << c.kind;
    }
    EXPECT_EQ(thumb_file("A", "chip3d").content_type, "image/png");
    EXPECT_EQ(thumb_file("A", "footprint.quarry").content_type, "image/svg+xml");
}
