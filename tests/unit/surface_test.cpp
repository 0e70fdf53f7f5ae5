#include <optional>
#include <string>

#include "dashboard/surface.hpp"
#include "test_support.hpp"

using namespace kestrel;
using dashboard::Surface;
using kestrel::testing::read_file;
using kestrel::testing::ScopedEnv;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::write_file;

TEST(SurfaceChoice, AcceptsSkiffWebviewAndHalyardInAnyCase) {
    struct Case {
        const char* value;
        std::optional<Surface> choice;  // what set-surface accepts
        Surface stored;                 // what the same text means when read from the file
    };
    const Case cases[] = {
        {"skiff", Surface::Skiff, Surface::Skiff},
        {"SKIFF", Surface::Skiff, Surface::Skiff},
        {"webview", Surface::Webview, Surface::Webview},
        {"Halyard", Surface::Webview, Surface::Webview},
        {"HALYARD", Surface::Webview, Surface::Webview},
        {"browser", std::nullopt, Surface::Skiff},
        {" webview", std::nullopt, Surface::Skiff},
        {"", std::nullopt, Surface::Skiff},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dashboard::parse_surface_choice(c.value), c.choice) << c.value;
        EXPECT_EQ(dashboard::surface_from_stored(c.value), c.stored) << c.value;
    }
}

TEST(DashboardConfig, WritesThePreferenceAndReadsItBack) {
    ScopedTempDir home;
    ScopedEnv env("HOME", home.path().string());
    EXPECT_EQ(dashboard::read_dashboard_config().surface, Surface::Skiff);  // no file yet
    util::Result<std::filesystem::path> path = dashboard::write_dashboard_config({Surface::Webview});
    ASSERT_TRUE(path.ok());
    EXPECT_EQ(*path, home.path() / ".config/kestrel/dashboard.json");
    EXPECT_EQ(read_file(*path), "{\n  \"surface\": \"webview\"\n}");
    EXPECT_EQ(dashboard::read_dashboard_config().surface, Surface::Webview);
}

TEST(DashboardConfig, OddFilesReadAsSkiff) {
    ScopedTempDir home;
    ScopedEnv env("HOME", home.path().string());
    const std::filesystem::path file = home.path() / ".config/kestrel/dashboard.json";
    const char* contents[] = {"not json", "[\"webview\"]", "{\"surface\":5}", "{}", "{\"surface\":\"skiff\"}"};
    for (const char* content : contents) {
        write_file(file, content);
        EXPECT_EQ(dashboard::read_dashboard_config().surface, Surface::Skiff) << content;
    }
    write_file(file, "{\"surface\":\"HALYARD\",\"other\":1}");
    EXPECT_EQ(dashboard::read_dashboard_config().surface, Surface::Webview);
}

TEST(DashboardConfig, NeedsHome) {
    ScopedEnv env("HOME", std::nullopt);
    EXPECT_EQ(dashboard::read_dashboard_config().surface, Surface::Skiff);
    util::Result<std::filesystem::path> path = dashboard::write_dashboard_config({Surface::Skiff});
    ASSERT_FALSE(path.ok());
    EXPECT_EQ(path.error().message, "HOME not set");
}
