// Delivery: the generator's arguments and the judging of bridge replies.

#include <gtest/gtest.h>

#include "deliver/deliver.hpp"
#include "test_support.hpp"

namespace kestrel::deliver {
namespace {

using testing::ScopedTempDir;
using testing::write_file;

TEST(DeliverLbr, PassesOnlyTheKicadFilesThatExist) {
    ScopedTempDir tmp;
    const fs::path dir = tmp.path() / "U1";
    const fs::path out = dir / "U1.lbr";
    fs::create_directories(dir);
    const std::vector<std::string> tail = {"--name", "U1", "--output", out.string()};
    auto expected = [&](std::vector<std::string> middle) {
        std::vector<std::string> argv = {"velm-lbr", "generate"};
        argv.insert(argv.end(), middle.begin(), middle.end());
        argv.insert(argv.end(), tail.begin(), tail.end());
        return argv;
    };

    EXPECT_EQ(lbr_generate_argv(dir, "U1", out), expected({}));
    write_file(dir / "U1.kicad_sym", "(kicad_symbol_lib)");
    EXPECT_EQ(lbr_generate_argv(dir, "U1", out), expected({"--sym", (dir / "U1.kicad_sym").string()}));
    write_file(dir / "U1.kicad_mod", "(footprint U1)");
    EXPECT_EQ(lbr_generate_argv(dir, "U1", out), expected({"--sym", (dir / "U1.kicad_sym").string(), "--fp",
                                                           (dir / "U1.kicad_mod").string()}));
    fs::remove(dir / "U1.kicad_sym");
    EXPECT_EQ(lbr_generate_argv(dir, "U1", out), expected({"--fp", (dir / "U1.kicad_mod").string()}));
}

BridgeOutcome answered(const std::string& op, const std::string& reply, int exit_code = 0,
                       const std::string& err = "") {
    return BridgeOutcome{op, BridgeReply{util::json::parse(reply), exit_code, err}};
}

BridgeOutcome unreachable(const std::string& op) {
    return BridgeOutcome{op, util::Error("velm-desktop unreachable: starting velm-desktop: No such file")};
}

TEST(DeliverEvaluate, FirstDecidingResultWins) {
    const std::string delivered =
        R"({"message":"Delivered symbol + footprint to KiCad.","ok":true,"target":"KiCad"})";
    const std::string offline =
        R"({"message":"File generated, but Velm Desktop isn't connected to KiCad. Open Velm Desktop on your laptop and try again.","offline":true,"ok":false,"target":"KiCad"})";
    struct Case {
        const char* what;
        std::vector<BridgeOutcome> outcomes;
        std::string reply;
    };
    std::vector<Case> cases;
    cases.push_back({"plain objects", {answered("send_files", "{}"), answered("kicad_install_library", R"({"ok":true})")},
                     delivered});
    cases.push_back({"disconnected first, fine later",
                     {answered("send_files", R"({"bridgeConnected":false})"), answered("kicad_install_library", "{}")},
                     offline});
    cases.push_back({"timeout in any case", {answered("send_files", "{}"), answered("x", R"({"note":"TimeOut"})")},
                     offline});
    for (const char* word : {"Not Connected", "no client", "OFFLINE"}) {
        cases.push_back({word, {answered("send_files", std::string(R"({"s":")") + word + "\"}")}, offline});
    }
    cases.push_back({"bridgeConnected true is fine", {answered("send_files", R"({"bridgeConnected":true})")},
                     delivered});
    cases.push_back({"missing bridge",
                     {unreachable("send_files"), answered("kicad_install_library", R"({"bridgeConnected":false})")},
                     R"({"error":"velm-desktop unreachable: starting velm-desktop: No such file","offline":true,"ok":false,"target":"KiCad"})"});
    // A refused call is not a delivery, whether the bridge says so in JSON or
    // exits non-zero without any.
    cases.push_back({"ok false", {answered("send_files", R"({"ok":false,"error":"disk full"})")},
                     R"({"error":"velm-desktop send_files failed: disk full","offline":false,"ok":false,"target":"KiCad"})"});
    cases.push_back({"silent failure",
                     {answered("send_files", "{}"),
                      answered("kicad_install_library", R"({"ok":false,"raw":""})", 1, "no desktop\n")},
                     R"({"error":"velm-desktop kicad_install_library failed: no desktop","offline":false,"ok":false,"target":"KiCad"})"});
    cases.push_back({"error code", {answered("send_files", R"({"errorCode":"file_missing"})")},
                     R"({"error":"velm-desktop send_files failed: file_missing","offline":false,"ok":false,"target":"KiCad"})"});
    // A disconnected bridge still wins when it is seen first.
    cases.push_back({"offline before refusal",
                     {answered("send_files", R"({"ok":false,"error":"client offline"})")}, offline});

    for (const Case& c : cases) {
        util::json reply = evaluate_bridge_results(c.outcomes, "KiCad", "symbol + footprint");
        EXPECT_EQ(util::dump_json(reply, -1), c.reply) << c.what;
    }
}

}  // namespace
}  // namespace kestrel::deliver
