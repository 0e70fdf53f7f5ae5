#include "cli/report.hpp"

#include <gtest/gtest.h>

using kestrel::cli::format_error_report;
using kestrel::util::Error;

TEST(ErrorReport, WithoutCausesIsOneLine) {
    EXPECT_EQ(format_error_report(Error("gate FAILED")), "Error: gate FAILED\n");
}

TEST(ErrorReport, OneCauseIsIndentedFourSpaces) {
    Error e = Error("No such file or directory").context("reading /x/info.json");
    EXPECT_EQ(format_error_report(e), "Error: reading /x/info.json\n\nCaused by:\n    No such file or directory\n");
}

TEST(ErrorReport, TwoCausesAreNumberedInAFieldOfFive) {
    Error e = Error("Permission denied").context("writing info.json").context("import failed");
    EXPECT_EQ(format_error_report(e),
              "Error: import failed\n"
              "\n"
              "Caused by:\n"
              "    0: writing info.json\n"
              "    1: Permission denied\n");
}

TEST(ErrorReport, MultiLineCausesContinueAtTheirColumn) {
    Error one = Error("first\nsecond").context("outer");
    EXPECT_EQ(format_error_report(one), "Error: outer\n\nCaused by:\n    first\n    second\n");
    Error many("top", {"a", "b\nc", "d", "e", "f", "g", "h", "i", "j", "k", "l"});
    std::string text = format_error_report(many);
    EXPECT_NE(text.find("    1: b\n       c\n"), std::string::npos);
    EXPECT_NE(text.find("   10: l\n"), std::string::npos);
}
