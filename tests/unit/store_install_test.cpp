#include "store/install.hpp"

#include <map>
#include <set>

#include "heartbeat/heartbeat.hpp"
#include "sources/manufacturers.hpp"
#include "test_support.hpp"
#include "util/assets.hpp"
#include "util/json_file.hpp"
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

// The backquoted spans of a line, in order.
std::vector<std::string> code_spans(std::string_view line) {
    std::vector<std::string> spans;
    std::vector<std::string> parts = util::split(line, '`');
    for (size_t i = 1; i < parts.size(); i += 2) {
        spans.push_back(parts[i]);
    }
    return spans;
}

// The table rows ("| a | b |" split into trimmed cells) under one "## " heading.
std::vector<std::vector<std::string>> table_rows(std::string_view text, std::string_view heading) {
    std::vector<std::vector<std::string>> rows;
    bool inside = false;
    for (const std::string& line : lines_of(text)) {
        if (util::starts_with(line, "## ")) {
            inside = line == heading;
            continue;
        }
        if (!inside || !util::starts_with(line, "| ") || util::starts_with(line, "|---")) {
            continue;
        }
        std::vector<std::string> cells;
        for (const std::string& cell : util::split(line, '|')) {
            cells.push_back(util::trim(cell));
        }
        rows.emplace_back(cells.begin() + 1, cells.end() - 1);  // drop the empty ends
    }
    return rows;
}

}  // namespace

// The agent copies the stage texts of this table into heartbeats; each must be
// read into the ledger entry the table promises.
TEST(DeployedDocuments, OutcomeTableMatchesHowHeartbeatsAreRead) {
    std::vector<std::vector<std::string>> rows =
        table_rows(store::playbook_text("sourcing-ladder.md"), "## Recording outcomes");
    ASSERT_GE(rows.size(), 5u);
    for (const std::vector<std::string>& row : rows) {
        if (row[0] == "Stage text") {
            continue;
        }
        ASSERT_EQ(row.size(), 2u);
        std::vector<std::string> stages = code_spans(row[0]);
        ASSERT_FALSE(stages.empty()) << row[0];
        for (size_t i = 0; i < stages.size(); ++i) {
            std::optional<std::pair<std::string, std::string>> entry = heartbeat::stage_chain_entry(stages[i]);
            if (util::starts_with(row[1], "nothing")) {
                EXPECT_FALSE(entry) << stages[i];
                continue;
            }
            // "`slug` → outcome[ / outcome][: remark]", one outcome per stage.
            std::vector<std::string> slug = code_spans(row[1]);
            ASSERT_EQ(slug.size(), 1u) << row[1];
            std::string outcomes = util::trim(row[1].substr(row[1].find("\u2192") + 3));
            outcomes = outcomes.substr(0, outcomes.find(':'));
            std::vector<std::string> each;
            for (const std::string& o : util::split(outcomes, '/')) {
                each.push_back(util::trim(o));
            }
            const std::string& expected = each.size() == stages.size() ? each[i] : each[0];
            ASSERT_TRUE(entry) << stages[i];
            EXPECT_EQ(entry->first, slug[0]) << stages[i];
            EXPECT_EQ(entry->second, expected) << stages[i];
        }
    }
}

// The vendor page table must show the page `mfr-probe` really opens.
TEST(DeployedDocuments, VendorPageTableMatchesManufacturerDetection) {
    const std::map<std::string, std::string> sample_mpn = {
        {"Texas Instruments", "TPS62840YBGR"}, {"STMicroelectronics", "STM32F103C8T6"}, {"Espressif", "ESP32S3"},
        {"Nordic Semi", "NRF52840"},           {"Microchip", "PIC16F84A"},            {"Renesas", "R7FA2E1"},
        {"NXP", "LPC1768"},                    {"Lattice", "ICE40UP5K"},              {"Analog Devices", "LTC3600"},
        {"Diodes Inc.", "AP2112K"},            {"Bosch Sensortec", "BME280"},         {"JST", "SM04B"},
        {"GCT", "USB4105"},                    {"HanRun", "HR911105A"},               {"WAGO", "WAGO2060"},
        {"Abracon", "ABM8G"},                  {"Vishay", "CRCW0402"},                {"E-Switch", "TL3301"},
    };
    std::vector<std::vector<std::string>> rows =
        table_rows(store::playbook_text("manufacturer-direct.md"), "## Vendor URL patterns");
    size_t checked = 0;
    for (const std::vector<std::string>& row : rows) {
        auto sample = sample_mpn.find(row[0]);
        if (sample == sample_mpn.end()) {
            EXPECT_EQ(row[0], "Maker") << "no sample MPN for this maker row";
            continue;
        }
        std::vector<std::string> urls = code_spans(row[1]);
        ASSERT_FALSE(urls.empty()) << row[0];
        std::string documented = urls[0];
        if (size_t at = documented.find("<MPN>"); at != std::string::npos) {
            documented.replace(at, 5, sample->second);
        }
        std::optional<sources::ManufacturerMatch> found = sources::detect_manufacturer(sample->second);
        ASSERT_TRUE(found) << sample->second;
        EXPECT_EQ(found->name, row[0]);
        EXPECT_EQ(found->url, documented) << row[0];
        ++checked;
    }
    EXPECT_EQ(checked, sample_mpn.size());
}

// The stock.json example is copied as written; the card reads its `mouser`
// object's `stock`, `unit_price` and `lifecycle`.
TEST(DeployedDocuments, StockExampleIsJsonWithTheFieldsTheCardReads) {
    std::string_view text = store::playbook_text("mouser-cse.md");
    size_t open = text.find("```\n{");
    ASSERT_NE(open, std::string_view::npos);
    size_t body = open + 4;
    std::string_view example = text.substr(body, text.find("```", body) - body);
    util::json doc = util::json::parse(example, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << example;
    ASSERT_TRUE(doc.contains("mouser") && doc["mouser"].is_object());
    EXPECT_TRUE(doc["mouser"]["stock"].is_number_unsigned());
    EXPECT_TRUE(doc["mouser"]["unit_price"].is_number());
    EXPECT_TRUE(doc["mouser"]["lifecycle"].is_string());
}

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
