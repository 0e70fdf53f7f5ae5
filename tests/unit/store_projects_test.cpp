#include "store/projects.hpp"

#include "test_support.hpp"

using namespace kestrel;
using kestrel::testing::ScopedEnv;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::read_file;
using kestrel::testing::write_file;
namespace fs = std::filesystem;

TEST(ProjectStoreJson, AcceptsTheStoreShapeOnly) {
    struct Case {
        const char* doc;
        bool valid;
        const char* why;
    };
    const Case cases[] = {
        {R"({"projects":{}})", true, "active may be missing"},
        {R"({"projects":{},"active":null,"extra":1})", true, "unknown members are ignored"},
        {R"({"projects":{"P":{"name":"P","mpns":["A"]}}})", true, "description and created may be missing"},
        {R"({"active":"P"})", false, "projects is required"},
        {R"({"projects":[]})", false, "projects must be an object"},
        {R"({"projects":{"P":{"mpns":[]}}})", false, "a project needs its name"},
        {R"({"projects":{"P":{"name":"P"}}})", false, "a project needs its mpns"},
        {R"({"projects":{"P":{"name":"P","mpns":[1]}}})", false, "mpns are text"},
        {R"({"projects":{"P":{"name":"P","mpns":[],"created":5}}})", false, "created is text"},
        {R"({"projects":{},"active":3})", false, "active is text or null"},
        {R"([])", false, "the store is an object"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(store::from_json(util::json::parse(c.doc)).has_value(), c.valid) << c.why;
    }
    std::optional<store::ProjectStore> read =
        store::from_json(util::json::parse(R"({"projects":{"P":{"name":"P","mpns":["B","A"]}},"active":"Q"})"));
    ASSERT_TRUE(read);
    const store::Project& p = read->projects.at("P");
    EXPECT_EQ(p.mpns, (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(p.description, "");
    EXPECT_EQ(p.created, "");
    EXPECT_EQ(read->active, "Q");
}

TEST(ProjectStoreFile, WritesMembersInTheirFixedOrderAndProjectsByName) {
    ScopedTempDir tmp;
    ScopedEnv home("HOME", tmp.path().string());
    store::ProjectStore s;
    s.projects["b"] = store::Project{"b", {"X", "A"}, "second", "20"};
    s.projects["B"] = store::Project{"B", {}, "", "10"};
    s.active = "b";
    ASSERT_TRUE(store::save(s));
    EXPECT_EQ(store::store_path(), tmp.path() / ".config/kestrel/projects.json");
    EXPECT_EQ(read_file(store::store_path()),
              "{\n"
              "  \"projects\": {\n"
              "    \"B\": {\n      \"name\": \"B\",\n      \"mpns\": [],\n      \"description\": \"\",\n"
              "      \"created\": \"10\"\n    },\n"
              "    \"b\": {\n      \"name\": \"b\",\n      \"mpns\": [\n        \"X\",\n        \"A\"\n      ],\n"
              "      \"description\": \"second\",\n      \"created\": \"20\"\n    }\n"
              "  },\n"
              "  \"active\": \"b\"\n"
              "}");
}

TEST(ProjectStoreOps, KeepFirstCreationAddOnceAndClearActiveOnDelete) {
    ScopedTempDir tmp;
    ScopedEnv home("HOME", tmp.path().string());
    ASSERT_TRUE(store::create_project("P", "first"));
    std::string created = store::get_project("P")->created;
    EXPECT_FALSE(created.empty());
    ASSERT_TRUE(store::create_project("P", "second"));
    EXPECT_EQ(store::get_project("P")->description, "first");
    EXPECT_EQ(store::get_project("P")->created, created);

    for (const char* mpn : {"X", "Y", "x", "X", "Y"}) {
        ASSERT_TRUE(store::add_mpn("P", mpn));
    }
    ASSERT_TRUE(store::remove_mpn("P", "Y"));
    EXPECT_EQ(store::get_project("P")->mpns, (std::vector<std::string>{"X", "x"}));

    ASSERT_TRUE(store::add_mpn("Q", "Z"));  // creates Q
    EXPECT_EQ(store::get_project("Q")->description, "");
    ASSERT_TRUE(store::set_active("P"));
    ASSERT_TRUE(store::delete_project("Q"));
    EXPECT_EQ(store::active_project(), "P");  // deleting another project keeps it
    ASSERT_TRUE(store::delete_project("P"));
    EXPECT_EQ(store::active_project(), std::nullopt);
    EXPECT_TRUE(store::list_projects().empty());
}

TEST(ProjectStoreOps, FailedSaveIsReportedAndLeavesNoTemporaryFile) {
    ScopedTempDir tmp;
    ScopedEnv home("HOME", tmp.path().string());
    // A folder in the store's place: it reads as empty and cannot be replaced.
    fs::path path = store::store_path();
    fs::create_directory(path);
    util::Status st = store::add_mpn("P", "A");
    ASSERT_FALSE(st);
    EXPECT_NE(st.error().message.find(path.string()), std::string::npos) << st.error().message;
    EXPECT_TRUE(fs::is_directory(path));
    for (const fs::directory_entry& e : fs::directory_iterator(path.parent_path())) {
        EXPECT_EQ(e.path().filename(), "projects.json") << "left behind: " << e.path();
    }
}
