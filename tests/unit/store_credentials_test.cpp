#include "store/credentials.hpp"

#include <sys/stat.h>

#include "test_support.hpp"

using namespace kestrel;
using kestrel::testing::ScopedEnv;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::read_file;
using kestrel::testing::write_file;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> hosts(const std::vector<store::Credential>& list) {
    std::vector<std::string> out;
    for (const store::Credential& c : list) {
        out.push_back(c.host);
    }
    return out;
}

}  // namespace

TEST(CredentialStoreRead, OnlyAWellFormedArrayCounts) {
    ScopedTempDir tmp;
    ScopedEnv home("HOME", tmp.path().string());
    struct Case {
        const char* text;
        std::vector<std::string> hosts;
        const char* why;
    };
    const Case cases[] = {
        {R"([{"host":"a","username":"u","password":"p"},{"password":"q","username":"v","host":"b"}])", {"a", "b"},
         "member order does not matter; file order is kept"},
        {R"([{"host":"a","username":"u","password":"p","note":1,"note":2}])", {"a"},
         "unknown members are ignored, even twice"},
        {R"([{"host":"a","username":"u","password":"p","x":{"host":1,"host":2}}])", {"a"},
         "keys of nested values are not the entry's members"},
        {R"([{"host":"a","username":"u","password":"p"},{"host":"b","username":"v"}])", {}, "a missing member"},
        {R"([{"host":"a","username":"u","password":"p","host":"b"}])", {}, "a member given twice"},
        {R"([{"host":"a","username":"u","password":7}])", {}, "a member that is not text"},
        {R"({"host":"a","username":"u","password":"p"})", {}, "not an array"},
        {R"([["a","u","p"]])", {}, "an entry that is not an object"},
        {R"([{"host":"a",)", {}, "not JSON"},
        {"", {}, "empty file"},
    };
    fs::path path = *store::credentials_path();
    for (const Case& c : cases) {
        write_file(path, c.text);
        util::Result<std::vector<store::Credential>> list = store::load_credentials();
        ASSERT_TRUE(list) << c.why;
        EXPECT_EQ(hosts(*list), c.hosts) << c.why;
    }
}

TEST(CredentialStoreWrite, UpsertMovesToEndInMemberOrderWithMode600) {
    ScopedTempDir tmp;
    ScopedEnv home("HOME", tmp.path().string());
    fs::path path = *store::credentials_path();
    write_file(path, "[]");
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(store::upsert_credential("ti", "old", "pw1"));
    ASSERT_TRUE(store::upsert_credential("TI", "upper", "pw2"));
    ASSERT_TRUE(store::upsert_credential("ti", "new", "pw3"));
    EXPECT_EQ(read_file(path),
              "[\n"
              "  {\n    \"host\": \"TI\",\n    \"username\": \"upper\",\n    \"password\": \"pw2\"\n  },\n"
              "  {\n    \"host\": \"ti\",\n    \"username\": \"new\",\n    \"password\": \"pw3\"\n  }\n"
              "]");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(CredentialStoreWrite, DeleteReportsRemovalAndLeavesFileAloneOtherwise) {
    ScopedTempDir tmp;
    ScopedEnv home("HOME", tmp.path().string());
    ASSERT_TRUE(store::upsert_credential("a", "u", "p"));
    ASSERT_TRUE(store::upsert_credential("b", "v", "q"));
    util::Result<bool> removed = store::delete_credential("a");
    ASSERT_TRUE(removed);
    EXPECT_TRUE(*removed);
    fs::path path = *store::credentials_path();
    // A hand-formatted file stays byte for byte when nothing matches.
    write_file(path, R"([{"host":"b","username":"v","password":"q"}])");
    removed = store::delete_credential("B");
    ASSERT_TRUE(removed);
    EXPECT_FALSE(*removed);
    EXPECT_EQ(read_file(path), R"([{"host":"b","username":"v","password":"q"}])");
}

TEST(CredentialStorePath, NeedsHomeAndACreatableFolder) {
    {
        ScopedEnv home("HOME", std::nullopt);
        util::Result<fs::path> path = store::credentials_path();
        ASSERT_FALSE(path);
        EXPECT_EQ(path.error().message, "HOME not set");
        EXPECT_FALSE(store::upsert_credential("a", "u", "p"));
    }
    {
        ScopedEnv home("HOME", std::string("/nonexistent\xff"));
        EXPECT_EQ(store::load_credentials().error().message, "HOME not set");
    }
    ScopedTempDir tmp;
    write_file(tmp.path() / ".config", "a file where the folder should be");
    ScopedEnv home("HOME", tmp.path().string());
    util::Result<std::vector<store::Credential>> list = store::load_credentials();
    ASSERT_FALSE(list);
    EXPECT_NE(list.error().message.find(".config/kestrel"), std::string::npos) << list.error().message;
}

TEST(PasswordMask, ShowsWholeFirstAndLastCharacters) {
    struct Case {
        std::string password;
        std::string shown;
    };
    const Case cases[] = {
        {"", "***"},
        {"ab", "***"},
        {"\xc3\xa9", "***"},                               // é: one character, two bytes
        {"abc", "a\u2026c"},
        {"hunter2", "h\u2026" "2"},
        {"\u20ac", "\u20ac\u2026\u20ac"},                   // one 3-byte character is both ends
        {"\u00e9t\u00e9", "\u00e9\u2026\u00e9"},
        {"x\U0001F600", "x\u2026\U0001F600"},               // 4-byte last character
        {"ab\xff", "a\u2026\xff"},                           // a stray byte stands alone
        {"\x80" "bc", "\x80\u2026" "c"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(store::mask_password(c.password), c.shown) << c.password;
    }
}
