// The `scrape` commands. Each sends its heartbeat first (whatever that reports
// is ignored), then makes one direct bridge call on the fixed scrape session.

#include "bridge/bridge.hpp"
#include "bridge/scrape.hpp"
#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "heartbeat/heartbeat.hpp"

namespace kestrel::cli {

namespace {

util::ordered_json scrape_request() {
    util::ordered_json request = util::ordered_json::object();
    request["sessionId"] = bridge::k_session_scrape;
    return request;
}

util::ordered_json navigate_request(const std::string& url) {
    util::ordered_json request = scrape_request();
    request["url"] = url;
    return request;
}

}  // namespace

Status cmd_scrape_open(const ScrapeOpenArgs& args) {
    (void)heartbeat::post_heartbeat(args.mpn, bridge::open_stage(args.url));

    // Open the window; when that fails (usually because it already exists),
    // point the existing window at the URL instead.
    util::ordered_json request = scrape_request();
    request["profile"] = bridge::k_profile;
    request["url"] = args.url;
    util::Result<util::ProcessResult> opened = bridge::bridge_run("browser_open_window", request);
    if (!opened) {
        return std::move(opened).error();
    }
    if (opened->exit_code != 0) {
        util::Result<util::ProcessResult> navigated = bridge::bridge_run("browser_navigate", navigate_request(args.url));
        if (!navigated) {
            return std::move(navigated).error();
        }
    }

    ok("scrape window open at " + args.url + " (profile=" + bridge::k_profile + ")");
    hint("page is loading. Next: `kestrel scrape eval " + args.mpn +
         " '<JS to find what you need>'` to inspect the page, or `kestrel scrape screenshot " + args.mpn +
         "` to see what the user sees.");
    return {};
}

Status cmd_scrape_navigate(const ScrapeNavigateArgs& args) {
    (void)heartbeat::post_heartbeat(args.mpn, bridge::navigate_stage(args.url, args.stage));

    util::Result<util::ProcessResult> navigated = bridge::bridge_run("browser_navigate", navigate_request(args.url));
    if (!navigated) {
        return std::move(navigated).error();
    }
    if (navigated->exit_code != 0) {
        return util::Error("browser_navigate failed");
    }

    ok("navigated to " + args.url);
    hint("page loaded. Next: eval JS to find download buttons/links, or screenshot to see the page. Remember: "
         "check `kestrel next-source " +
         args.mpn + "` if this source doesn't have what you need.");
    return {};
}

Status cmd_scrape_eval(const ScrapeEvalArgs& args) {
    (void)heartbeat::post_heartbeat(args.mpn, bridge::eval_stage(args.expr));

    util::ordered_json request = scrape_request();
    request["expr"] = args.expr;
    util::Result<util::ProcessResult> evaluated = bridge::bridge_run("browser_eval", request);
    if (!evaluated) {
        return std::move(evaluated).error();
    }

    // The exit status is not judged: whatever JSON came back is shown.
    line(bridge::eval_display(evaluated->out));
    hint("read the result above. If you found a download URL, use `kestrel skiff-pdf-fetch " + args.mpn +
         " --pdf-url <url>` for PDFs or `kestrel refetch " + args.mpn +
         " --format <fmt> --source <src>` for CAD bundles.");
    return {};
}

Status cmd_scrape_screenshot(const ScrapeScreenshotArgs& args) {
    (void)heartbeat::post_heartbeat(args.mpn, bridge::screenshot_stage());

    util::Result<util::ProcessResult> shot = bridge::bridge_run("browser_screenshot", scrape_request());
    if (!shot) {
        return std::move(shot).error();
    }

    std::string path = "?";
    util::json reply = util::json::parse(shot->out, nullptr, false);
    if (!reply.is_discarded() && reply.is_object()) {
        auto it = reply.find("savedTo");
        if (it != reply.end() && it->is_string()) {
            path = it->get<std::string>();
        }
    }
    ok("screenshot at " + path);
    hint("look at the screenshot to see what the user sees. If a modal or interstitial is blocking, dismiss it with "
         "`scrape eval` before proceeding.");
    return {};
}

}  // namespace kestrel::cli
