#pragma once
// The rails check: `kestrel selfcheck` verifies what a fetch needs (dashboard
// up, heartbeat fresh, scrape window open) and `kestrel hint` turns the last
// heartbeat into the next mechanical step. Both print HINT lines for the agent.

#include <functional>
#include <optional>
#include <string>

#include "bridge/bridge.hpp"
#include "heartbeat/heartbeat.hpp"
#include "util/error.hpp"

namespace kestrel::hints {

// A heartbeat older than this many seconds is stale.
inline constexpr long long k_stale_after_seconds = 60;

// The browser session the fetch commands drive.
inline constexpr const char* k_scrape_session = "kestrel";

// What the two commands consult, swappable so the lines can be checked
// against a chosen clock and chosen answers.
struct RailsProbes {
    std::function<util::Status(bool force)> ensure_dashboard;
    std::function<bool()> dashboard_reachable;
    std::function<std::optional<heartbeat::Heartbeat>()> last_heartbeat;
    std::function<long long()> now;  // whole Unix seconds
    std::function<bridge::SessionState(const std::string& session)> session_alive;
};

// The real probes: dashboard_ensure, the curl probe, the /tmp record, the
// system clock and the bridge.
RailsProbes live_probes();

// Runs the checks and prints their lines and remedies. Fails with
// "selfcheck failed with {n} error(s)" only when the dashboard is not reachable.
util::Status run_selfcheck(const RailsProbes& probes);

// Prints what to do next after the last heartbeat. Never fails.
void run_hint(const RailsProbes& probes);

}  // namespace kestrel::hints
