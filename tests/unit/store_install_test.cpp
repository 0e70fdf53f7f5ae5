#include "store/install.hpp"

#include <set>

#include "test_support.hpp"
#include "util/assets.hpp"
#include "util/text.hpp"

using namespace kestrel;

namespace {

std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> out = util::split(text, '\n');
    if (!out.empty() && out.back().empty()) {
        out.pop_back();
    }
    return out;
}

}  // namespace

TEST(SkillDocument, HasFrontMatterAndTheSectionsInOrder) {
    std::string_view skill = store::skill_text();
    ASSERT_FALSE(skill.empty());
    EXPECT_TRUE(util::valid_utf8(skill));
    EXPECT_EQ(skill.back(), '\n');
    std::vector<std::string> lines = lines_of(skill);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "---");
    EXPECT_EQ(lines[1], "name: kestrel");
    EXPECT_TRUE(util::starts_with(lines[2], "description: ") && lines[2].size() > 100) << lines[2];
    EXPECT_EQ(lines[3], "---");

    std::vector<std::string> headings;
    bool fenced = false;  // comment lines in code blocks are not headings
    for (const std::string& line : lines) {
        if (util::starts_with(line, "```")) {
            fenced = !fenced;
        }
        if (!fenced && (util::starts_with(line, "# ") || util::starts_with(line, "## ") || util::starts_with(line, "### "))) {
            headings.push_back(line);
        }
    }
    const std::vector<std::string> expected = {
        "# kestrel",
        "## Bones",
        "## Commands",
        "### Programmatic-rule subcommands \u2014 these enforce the skill rules in code",
        "## Critical rules \u2014 these always apply",
        "## STEP + Footprint = matched pair (CRITICAL)",
        "## Playbook index \u2014 Read on demand",
        "## Velm standard passive size \u2014 proactively recommend 0402",
        "## Sister tools to lean on",
        "## Critical gotchas (one-liners)",
        "## Two-skiff-window pattern",
        "## See also",
    };
    EXPECT_EQ(headings, expected);

    // The index names every playbook by its path under the skill folder.
    for (const store::Playbook& playbook : store::k_playbooks) {
        std::string ref = "`playbooks/" + std::string(playbook.file) + "`";
        EXPECT_NE(skill.find(ref), std::string_view::npos) << ref;
    }
}

TEST(Playbooks, EachOpensWithTitleBlankLineAndScopeParagraph) {
    std::set<std::string> in_table;
    for (const store::Playbook& playbook : store::k_playbooks) {
        in_table.insert("skill/playbooks/" + std::string(playbook.file));
        std::string_view text = store::playbook_text(playbook.file);
        ASSERT_FALSE(text.empty()) << playbook.file;
        EXPECT_TRUE(util::valid_utf8(text)) << playbook.file;
        EXPECT_EQ(text.back(), '\n') << playbook.file;
        std::vector<std::string> lines = lines_of(text);
        ASSERT_GE(lines.size(), 5u) << playbook.file;
        EXPECT_EQ(lines[0], "# " + std::string(playbook.title) + " (kestrel playbook)");
        EXPECT_EQ(lines[1], "");
        EXPECT_TRUE(!lines[2].empty() && lines[2][0] != '#' && lines[2][0] != '-') << playbook.file;
        EXPECT_EQ(lines[3], "") << playbook.file << ": the scope is one paragraph";
    }
    // Every playbook carried in the executable is deployed.
    for (const util::Asset& asset : util::assets()) {
        if (util::starts_with(asset.path, "skill/playbooks/")) {
            EXPECT_EQ(in_table.count(std::string(asset.path)), 1u) << asset.path << " is not in the playbook table";
        }
    }
}
