#include <optional>
#include <string>

#include "hints/rails.hpp"
#include "test_support.hpp"

using namespace kestrel;
using bridge::SessionState;

namespace {

constexpr long long k_now = 1'700'000'000;

// Probes with a fixed clock; `age` nullopt means no heartbeat on file.
hints::RailsProbes probes(bool reachable, std::optional<long long> age, SessionState session,
                          const std::string& stage = "downloading STEP") {
    hints::RailsProbes p;
    p.ensure_dashboard = [reachable](bool force) -> util::Status {
        EXPECT_FALSE(force);
        if (reachable) {
            return {};
        }
        return util::Error("dashboard server failed to start within 3s \u2014 see /tmp/kestrel-dashboard.log");
    };
    p.dashboard_reachable = [reachable] { return reachable; };
    p.last_heartbeat = [age, stage]() -> std::optional<heartbeat::Heartbeat> {
        if (!age) {
            return std::nullopt;
        }
        return heartbeat::Heartbeat{"TPS62840", stage, k_now - *age};
    };
    p.now = [] { return k_now; };
    p.session_alive = [session](const std::string& id) {
        EXPECT_EQ(id, "kestrel");
        return session;
    };
    return p;
}

struct Outcome {
    std::string out;
    std::optional<std::string> error;
};

Outcome selfcheck(const hints::RailsProbes& p) {
    ::testing::internal::CaptureStdout();
    util::Status st = hints::run_selfcheck(p);
    Outcome o{::testing::internal::GetCapturedStdout(), std::nullopt};
    if (!st) {
        o.error = st.error().message;
    }
    return o;
}

std::string hint(const hints::RailsProbes& p) {
    ::testing::internal::CaptureStdout();
    hints::run_hint(p);
    return ::testing::internal::GetCapturedStdout();
}

const std::string k_all_passed =
    "HINT: all checks passed \u2014 continue with your fetch. Heartbeat each stage transition with `kestrel "
    "heartbeat <MPN> \"<stage>\"` before any skiff action.\n";

}  // namespace

TEST(Selfcheck, SixtySecondHeartbeatIsFreshAndEverythingPasses) {
    Outcome o = selfcheck(probes(true, 60, SessionState::Open, "say \"hi\"\\"));
    EXPECT_EQ(o.out,
              "OK: dashboard reachable at http://127.0.0.1:8786/\n"
              "OK: heartbeat 60s old \u2014 TPS62840 \u2192 \"say \\\"hi\\\"\\\\\"\n"
              "OK: skiff session 'kestrel' is open\n"
              "\n" + k_all_passed);
    EXPECT_EQ(o.error, std::nullopt);
}

TEST(Selfcheck, SixtyOneSecondHeartbeatIsStaleButDoesNotFail) {
    Outcome o = selfcheck(probes(true, 61, SessionState::Open));
    EXPECT_EQ(o.out,
              "OK: dashboard reachable at http://127.0.0.1:8786/\n"
              "OK: skiff session 'kestrel' is open\n"
              "\n"
              "WARN: heartbeat is 61s old (stale-after = 60s) \u2014 last was TPS62840 \u2192 \"downloading STEP\"\n"
              "\n"
              "HINT: heartbeat is stale \u2014 refresh with `kestrel heartbeat TPS62840 \"<current stage>\"`\n");
    EXPECT_EQ(o.error, std::nullopt);
}

TEST(Selfcheck, DashboardDownFailsAfterPrintingEveryLine) {
    Outcome o = selfcheck(probes(false, std::nullopt, SessionState::NotOpen));
    EXPECT_EQ(o.out,
              "WARN: dashboard_ensure: dashboard server failed to start within 3s \u2014 see "
              "/tmp/kestrel-dashboard.log\n"
              "\n"
              "ERROR: dashboard NOT reachable at http://127.0.0.1:8786/\n"
              "\n"
              "WARN: no heartbeat on file \u2014 the dashboard hasn't seen any activity from this session\n"
              "WARN: skiff session 'kestrel' is NOT open \u2014 fetches need this exact sessionId\n"
              "\n"
              "HINT: start the dashboard FIRST: `kestrel app` (Halyard tab) or `kestrel serve` (HTTP only) \u2014 "
              "every other rule depends on the dashboard being up.\n"
              "HINT: send your first heartbeat: `kestrel heartbeat <MPN> \"starting fetch\"`\n"
              "HINT: open the skiff window before fetching: navigate to the vendor URL with "
              "`sessionId:\"kestrel\", profile:\"kestrel\"`\n");
    EXPECT_EQ(o.error, "selfcheck failed with 1 error(s)");
}

TEST(Selfcheck, UnknownSessionWarnsWithoutASessionHint) {
    Outcome o = selfcheck(probes(true, 5, SessionState::Unknown));
    EXPECT_EQ(o.out,
              "OK: dashboard reachable at http://127.0.0.1:8786/\n"
              "OK: heartbeat 5s old \u2014 TPS62840 \u2192 \"downloading STEP\"\n"
              "\n"
              "WARN: could not query velm-desktop browser_list_windows\n"
              "\n");
    EXPECT_EQ(o.error, std::nullopt);
}

TEST(Selfcheck, RemediesAskAgain) {
    // The dashboard comes up between the check and the remedies: no start hint.
    hints::RailsProbes p = probes(false, 10, SessionState::Open);
    int asked = 0;
    p.dashboard_reachable = [&asked] { return ++asked > 1; };
    Outcome o = selfcheck(p);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(o.out.find("HINT: start the dashboard FIRST"), std::string::npos) << o.out;
    EXPECT_EQ(o.error, "selfcheck failed with 1 error(s)");
}

TEST(Hint, FollowsTheLastHeartbeat) {
    struct Case {
        std::optional<long long> age;
        const char* stage;
        const char* expected;
    };
    const Case cases[] = {
        {std::nullopt, "",
         "HINT: no heartbeat yet \u2014 kick off with `kestrel heartbeat <MPN> \"starting fetch\"`\n"
         "HINT: then `kestrel selfcheck` to verify dashboard + skiff session.\n"},
        {10, "imported",
         "last heartbeat: TPS62840 \u2192 \"imported\" (10s ago)\n"
         "HINT: heartbeat: `kestrel heartbeat TPS62840 imported`\n"
         "HINT: dashboard view: `kestrel status TPS62840`\n"},
        {60, "downloading STEP",
         "last heartbeat: TPS62840 \u2192 \"downloading STEP\" (60s ago)\n"
         "HINT: heartbeat the next stage transition: `kestrel heartbeat TPS62840 \"<next stage>\"`\n"
         "HINT: after import lands: `kestrel heartbeat TPS62840 imported` then `kestrel status TPS62840`\n"
         "HINT: if anything is off-rails: `kestrel selfcheck`\n"},
        // Event names match exactly: another case is an ordinary stage.
        {3, "Imported",
         "last heartbeat: TPS62840 \u2192 \"Imported\" (3s ago)\n"
         "HINT: heartbeat the next stage transition: `kestrel heartbeat TPS62840 \"<next stage>\"`\n"
         "HINT: after import lands: `kestrel heartbeat TPS62840 imported` then `kestrel status TPS62840`\n"
         "HINT: if anything is off-rails: `kestrel selfcheck`\n"},
        {61, "imported",
         "last heartbeat: TPS62840 \u2192 \"imported\" (61s ago)\n"
         "HINT: stale heartbeat \u2014 refresh: `kestrel heartbeat TPS62840 \"<current stage>\"`\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hint(probes(true, c.age, SessionState::Open, c.stage)), c.expected) << c.stage;
    }
}
