#include "cli/paths.hpp"

#include <unistd.h>

#include "library/chip.hpp"
#include "test_support.hpp"

using namespace kestrel;
using kestrel::testing::ScopedEnv;
using kestrel::testing::ScopedTempDir;
namespace fs = std::filesystem;

TEST(LibraryRoot, EnvironmentWinsVerbatimEvenWhenEmptyOrMissing) {
    {
        ScopedEnv lib("KESTREL_LIB", "/data/lib/~$HOME");
        EXPECT_EQ(cli::library_root(), fs::path("/data/lib/~$HOME"));
    }
    {
        ScopedEnv lib("KESTREL_LIB", "");
        EXPECT_EQ(cli::library_root(), fs::path(""));
        EXPECT_EQ(library::chip_dir("X"), fs::path("X"));
    }
}

TEST(LibraryRoot, FallsBackToLibraryBesideTheExecutable) {
    ScopedEnv lib("KESTREL_LIB", std::nullopt);
    if (fs::exists(cli::k_dev_library)) {
        GTEST_SKIP() << "the development library exists on this machine";
    }
    fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(cli::library_root(), exe.parent_path() / "library");
}

TEST(ConfigDir, NeedsAValidUtf8Home) {
    {
        ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(cli::config_dir(), fs::path("/home/u/.config/kestrel"));
    }
    {
        ScopedEnv home("HOME", std::nullopt);
        EXPECT_FALSE(cli::config_dir());
    }
    {
        ScopedEnv home("HOME", std::string("/home/\xff"));
        EXPECT_FALSE(cli::config_dir());
    }
}

TEST(TempDir, UsesTmpdirElseTmp) {
    {
        ScopedEnv t("TMPDIR", "/scratch");
        EXPECT_EQ(cli::temp_dir(), fs::path("/scratch"));
    }
    ScopedEnv t("TMPDIR", std::nullopt);
    EXPECT_EQ(cli::temp_dir(), fs::path("/tmp"));
}

TEST(IncomingDir, SitsBesideTheLibraryOrInTmp) {
    {
        ScopedEnv lib("KESTREL_LIB", "/data/lib");
        EXPECT_EQ(cli::incoming_dir(), fs::path("/data/incoming"));
    }
    ScopedEnv lib("KESTREL_LIB", "lib");
    EXPECT_EQ(cli::incoming_dir(), fs::path("/tmp"));
}
