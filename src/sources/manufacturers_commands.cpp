// `mfr-probe`: the first ladder rung. Names the manufacturer and its page,
// records the attempt and opens the page in the scrape window. It never fails:
// every problem ends in a line for the agent and exit 0.

#include "bridge/bridge.hpp"
#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "library/ledger.hpp"
#include "sources/manufacturers.hpp"

namespace kestrel::cli {

Status cmd_mfr_probe(const MfrProbeArgs& args) {
    const std::string& mpn = args.mpn;

    // 1. Find the maker by prefix.
    std::optional<sources::ManufacturerMatch> found = sources::detect_manufacturer(mpn);
    if (!found) {
        warn("could not infer manufacturer for " + mpn + " from prefix table.");
        hint("identify the manufacturer manually (datasheet header, distributor product page) and open <mfr>.com "
             "directly. Then heartbeat: `kestrel heartbeat " +
             mpn + " \"probing <vendor>.com\"` so the chain records it.");
        return {};
    }
    ok("detected manufacturer " + found->name + " for " + mpn);
    tagged("URL", found->url);

    // 2. Record the attempt; a duplicate or a ledger error changes nothing here.
    (void)library::append_chain_entry(mpn, 0, "attempted", "auto-probe → " + found->name);

    // 3. Open the page in the scrape window (a direct call: no session
    // recovery and no credential insertion).
    if (!args.no_open) {
        util::ordered_json request = util::ordered_json::object();
        request["sessionId"] = bridge::k_session_scrape;
        request["profile"] = bridge::k_profile;
        request["url"] = found->url;
        util::Result<util::ProcessResult> opened = bridge::bridge_run("browser_open_window", request);
        if (!opened || opened->exit_code != 0) {
            hint("could not auto-open via velm-desktop — open the URL above manually");
        } else {
            ok("opened " + found->url + " in kestrel-scrape skiff session");
        }
    }

    hint("walk the page (Documentation, Tools & Software, CAD icon, Resources). When you decide whether the mfr has "
         "the CAD or not, heartbeat with `kestrel heartbeat " +
         mpn + " \"manufacturer: <result>\"` so the chain auto-updates.");
    return {};
}

}  // namespace kestrel::cli
