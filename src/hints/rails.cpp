// `kestrel selfcheck` and `kestrel hint`. Each probe is asked through
// RailsProbes; the remedies of selfcheck ask again rather than reuse the first
// answers, so a dashboard that came up in the meantime is not reported twice.

#include "hints/rails.hpp"

#include <array>
#include <string_view>
#include <vector>

#include "bridge/text.hpp"
#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "dashboard/surface.hpp"
#include "hints/hints.hpp"
#include "util/json_file.hpp"

namespace kestrel::hints {

namespace {

// Last-heartbeat stages that are follow-up events of their own.
constexpr std::array<std::string_view, 6> k_hint_events{"login", "listed", "pulled", "status", "fetched", "imported"};

bool is_hint_event(std::string_view stage) {
    for (std::string_view event : k_hint_events) {
        if (event == stage) {
            return true;
        }
    }
    return false;
}

// "{mpn} → {stage}", the stage quoted, as both commands show a heartbeat.
std::string describe(const heartbeat::Heartbeat& hb) {
    return hb.mpn + " \u2192 " + bridge::quoted(hb.stage);
}

}  // namespace

RailsProbes live_probes() {
    RailsProbes probes;
    probes.ensure_dashboard = [](bool force) { return dashboard::dashboard_ensure(force); };
    probes.dashboard_reachable = [] { return dashboard::dashboard_reachable(); };
    probes.last_heartbeat = [] { return heartbeat::read_last_heartbeat(); };
    probes.now = [] { return util::unix_now(); };
    probes.session_alive = [](const std::string& session) { return bridge::bridge_session_alive(session); };
    return probes;
}

util::Status run_selfcheck(const RailsProbes& probes) {
    // 1. Bring the dashboard up; a failure is reported by the reachability check.
    util::Status ensured = probes.ensure_dashboard(false);
    if (!ensured) {
        cli::warn("dashboard_ensure: " + ensured.error().one_line());
    }

    // 2. Problems are collected and printed together after the OK lines.
    std::vector<std::string> errors;
    std::vector<std::string> warnings;

    // 3. Dashboard.
    if (probes.dashboard_reachable()) {
        cli::ok(std::string("dashboard reachable at ") + dashboard::k_dashboard_local_url);
    } else {
        errors.push_back(std::string("dashboard NOT reachable at ") + dashboard::k_dashboard_local_url);
    }

    // 4. Heartbeat freshness.
    if (std::optional<heartbeat::Heartbeat> hb = probes.last_heartbeat()) {
        const long long age = heartbeat::heartbeat_age(*hb, probes.now());
        if (age > k_stale_after_seconds) {
            warnings.push_back("heartbeat is " + std::to_string(age) + "s old (stale-after = 60s) \u2014 last was " +
                               describe(*hb));
        } else {
            cli::ok("heartbeat " + std::to_string(age) + "s old \u2014 " + describe(*hb));
        }
    } else {
        warnings.emplace_back("no heartbeat on file \u2014 the dashboard hasn't seen any activity from this session");
    }

    // 5. The scrape window.
    switch (probes.session_alive(k_scrape_session)) {
        case bridge::SessionState::Unknown:
            warnings.emplace_back("could not query velm-desktop browser_list_windows");
            break;
        case bridge::SessionState::Open:
            cli::ok("skiff session 'kestrel' is open");
            break;
        case bridge::SessionState::NotOpen:
            warnings.emplace_back("skiff session 'kestrel' is NOT open \u2014 fetches need this exact sessionId");
            break;
    }

    // 6. The collected problems.
    if (!errors.empty()) {
        cli::line("");
        for (const std::string& e : errors) {
            cli::error_line(e);
        }
    }
    if (!warnings.empty()) {
        cli::line("");
        for (const std::string& w : warnings) {
            cli::warn(w);
        }
    }
    cli::line("");

    // 7. Remedies for what is still wrong, or the all-clear.
    if (errors.empty() && warnings.empty()) {
        cli::hint(
            "all checks passed \u2014 continue with your fetch. Heartbeat each stage transition with `kestrel "
            "heartbeat <MPN> \"<stage>\"` before any skiff action.");
    } else {
        if (!probes.dashboard_reachable()) {
            cli::hint(
                "start the dashboard FIRST: `kestrel app` (Halyard tab) or `kestrel serve` (HTTP only) \u2014 every "
                "other rule depends on the dashboard being up.");
        }
        if (std::optional<heartbeat::Heartbeat> hb = probes.last_heartbeat()) {
            if (heartbeat::heartbeat_age(*hb, probes.now()) > k_stale_after_seconds) {
                cli::hint("heartbeat is stale \u2014 refresh with `kestrel heartbeat " + hb->mpn +
                          " \"<current stage>\"`");
            }
        } else {
            cli::hint("send your first heartbeat: `kestrel heartbeat <MPN> \"starting fetch\"`");
        }
        if (probes.session_alive(k_scrape_session) == bridge::SessionState::NotOpen) {
            cli::hint(
                "open the skiff window before fetching: navigate to the vendor URL with `sessionId:\"kestrel\", "
                "profile:\"kestrel\"`");
        }
    }

    // 8. Only an unreachable dashboard fails the check.
    if (!errors.empty()) {
        return util::Error("selfcheck failed with " + std::to_string(errors.size()) + " error(s)");
    }
    return {};
}

void run_hint(const RailsProbes& probes) {
    // 1. Nothing sent yet.
    std::optional<heartbeat::Heartbeat> hb = probes.last_heartbeat();
    if (!hb) {
        cli::hint("no heartbeat yet \u2014 kick off with `kestrel heartbeat <MPN> \"starting fetch\"`");
        cli::hint("then `kestrel selfcheck` to verify dashboard + skiff session.");
        return;
    }

    // 2. The last report.
    const long long age = heartbeat::heartbeat_age(*hb, probes.now());
    cli::line("last heartbeat: " + describe(*hb) + " (" + std::to_string(age) + "s ago)");

    // 3. Stale: refresh first.
    if (age > k_stale_after_seconds) {
        cli::hint("stale heartbeat \u2014 refresh: `kestrel heartbeat " + hb->mpn + " \"<current stage>\"`");
        return;
    }

    // 4. A stage that names a follow-up event gets that event's hints.
    if (is_hint_event(hb->stage)) {
        print_next_hints(hb->stage, hb->mpn);
        return;
    }

    // 5. The general next steps.
    cli::hint("heartbeat the next stage transition: `kestrel heartbeat " + hb->mpn + " \"<next stage>\"`");
    cli::hint("after import lands: `kestrel heartbeat " + hb->mpn + " imported` then `kestrel status " + hb->mpn +
              "`");
    cli::hint("if anything is off-rails: `kestrel selfcheck`");
}

}  // namespace kestrel::hints

namespace kestrel::cli {

Status cmd_selfcheck(const SelfcheckArgs& /*args*/) { return hints::run_selfcheck(hints::live_probes()); }

Status cmd_hint(const HintArgs& /*args*/) {
    hints::run_hint(hints::live_probes());
    return {};
}

}  // namespace kestrel::cli
