#include "util/json_file.hpp"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.hpp"

using namespace kestrel;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::read_file;
using kestrel::testing::write_file;
using util::json;
namespace fs = std::filesystem;

TEST(ReadJson, TellsMissingUnreadableUnparseableAndOk) {
    ScopedTempDir tmp;
    EXPECT_EQ(util::read_json(tmp.path() / "none.json").state, util::ReadState::Missing);
    write_file(tmp.path() / "bad.json", "not json");
    EXPECT_EQ(util::read_json(tmp.path() / "bad.json").state, util::ReadState::Unparseable);
    std::filesystem::create_directory(tmp.path() / "dir.json");
    EXPECT_EQ(util::read_json(tmp.path() / "dir.json").state, util::ReadState::Unreadable);
    write_file(tmp.path() / "arr.json", "[1,2]");
    util::JsonRead arr = util::read_json(tmp.path() / "arr.json");
    EXPECT_EQ(arr.state, util::ReadState::Ok);
    EXPECT_FALSE(arr.is_object());
}

TEST(WriteJson, SortsKeysByBytesIndentsTwoAndKeepsUtf8) {
    ScopedTempDir tmp;
    json doc = json::parse(R"({"z":1,"B":2,"a":{"y":"µ","b":[]},"_":null})");
    ASSERT_TRUE(util::write_json(tmp.path() / "x.json", doc));
    EXPECT_EQ(read_file(tmp.path() / "x.json"),
              "{\n  \"B\": 2,\n  \"_\": null,\n  \"a\": {\n    \"b\": [],\n    \"y\": \"µ\"\n  },\n  \"z\": 1\n}");
}

TEST(WriteJson, SecretFilesAreMode600AndReplaceA644File) {
    ScopedTempDir tmp;
    fs::path p = tmp.path() / "creds.json";
    write_file(p, "{}");
    ::chmod(p.c_str(), 0644);
    util::WriteOptions opts;
    opts.secret = true;
    ASSERT_TRUE(util::write_json(p, json::object({{"k", "v"}}), opts));
    struct stat st;
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(WriteJson, FailureLeavesTargetAndNoTemporary) {
    ScopedTempDir tmp;
    fs::path dir = tmp.path() / "ro";
    fs::create_directory(dir);
    write_file(dir / "x.json", "{\"old\":1}");
    ::chmod(dir.c_str(), 0555);
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root ignores folder permissions";
    }
    EXPECT_FALSE(util::write_json(dir / "x.json", json::object()));
    EXPECT_EQ(read_file(dir / "x.json"), "{\"old\":1}");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST(UpdateJson, SixteenProcessesAtOnceLoseNoKey) {
    ScopedTempDir tmp;
    fs::path p = tmp.path() / "info.json";
    std::vector<pid_t> kids;
    for (int i = 0; i < 16; ++i) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            util::Status st = util::update_json(p, [i](const util::JsonRead& cur) -> util::Result<std::optional<json>> {
                json doc = cur.is_object() ? cur.value : json::object();
                ::usleep(2000);  // widen the window a lost update would need
                doc["k" + std::to_string(i)] = i;
                return std::optional<json>(doc);
            });
            ::_exit(st ? 0 : 1);
        }
        kids.push_back(pid);
    }
    for (pid_t pid : kids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    util::JsonRead doc = util::read_json(p);
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc.value.size(), 16u);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
}
