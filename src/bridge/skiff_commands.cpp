// `skiff-pdf-fetch`: opens the vendor page in a browser window on the desktop,
// finds (or takes) the PDF link, downloads it with the page's own fetch(),
// checks the bytes and stores them as the chip's datasheet. The datasheet is
// written once, after every check, so a failed fetch never leaves a partial
// file; the missing-link and not-a-PDF outcomes are recorded in the ledger
// before the command fails.

#include <chrono>
#include <thread>

#include "bridge/bridge.hpp"
#include "bridge/skiff.hpp"
#include "bridge/text.hpp"
#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "heartbeat/heartbeat.hpp"
#include "library/chip.hpp"
#include "library/ledger.hpp"
#include "sources/ladder.hpp"
#include "sources/manufacturers.hpp"
#include "util/text.hpp"

namespace kestrel::cli {

namespace {

using util::Error;
using util::Result;

// Runs browser_eval on the session and returns the reply's `result` when it is
// a string, else "". Fails when the bridge cannot start or prints no JSON.
Result<std::string> eval_string(const std::string& session, const std::string& expression) {
    util::ordered_json request = util::ordered_json::object();
    request["sessionId"] = session;
    request["expr"] = expression;
    Result<util::ProcessResult> ran = bridge::bridge_run("browser_eval", request);
    if (!ran) {
        return std::move(ran).error();
    }
    util::json reply;
    try {
        reply = util::json::parse(ran->out);
    } catch (const util::json::parse_error& e) {
        return Error(e.what()).context("parsing velm-desktop browser_eval stdout");
    }
    if (reply.is_object()) {
        auto it = reply.find("result");
        if (it != reply.end() && it->is_string()) {
            return it->get<std::string>();
        }
    }
    return std::string();
}

// Appends a ledger entry; the command is failing anyway, or has already
// succeeded, so a ledger problem only warns.
void record(const std::string& mpn, size_t source, const std::string& outcome, const std::string& note) {
    Result<bool> appended = library::append_chain_entry(mpn, source, outcome, note);
    if (!appended) {
        warn("could not record " + outcome + " in the ledger of " + mpn + ": " + appended.error().message);
    }
}

}  // namespace

Status cmd_skiff_pdf_fetch(const SkiffPdfFetchArgs& args) {
    const std::string& mpn = args.mpn;

    // 1. The chip must already exist.
    if (!library::chip_exists(mpn)) {
        return Error("no chip directory at " + library::chip_dir(mpn).string() +
                     " — heartbeat or import once first to create it");
    }

    // 2. The ladder source the ledger entries go under.
    Result<size_t> source = sources::parse_source_slug(util::to_lower(args.source));
    if (!source) {
        return Error("unknown source slug " + bridge::quoted(args.source));
    }

    // 3. The page opened first.
    std::string page;
    if (args.page_url) {
        page = *args.page_url;
    } else if (std::optional<sources::ManufacturerMatch> found = sources::detect_manufacturer(mpn)) {
        page = found->url;
    } else if (args.pdf_url) {
        page = *args.pdf_url;
    } else {
        return Error("no --page-url, no --pdf-url, and could not infer manufacturer for " + mpn +
                     "; pass --page-url <url>");
    }

    // 4. Heartbeat; its outcome does not matter here.
    (void)heartbeat::post_heartbeat(mpn, "skiff-pdf-fetch from " + args.source + ": opening skiff");

    // 5. Open the page in its own session, or navigate the existing window.
    util::ordered_json open_request = util::ordered_json::object();
    open_request["sessionId"] = args.session;
    open_request["profile"] = bridge::k_profile;
    open_request["url"] = page;
    Result<util::ProcessResult> opened = bridge::bridge_run("browser_open_window", open_request);
    if (!opened) {
        return std::move(opened).error();
    }
    if (opened->exit_code != 0) {
        util::ordered_json navigate_request = util::ordered_json::object();
        navigate_request["sessionId"] = args.session;
        navigate_request["url"] = page;
        Result<util::ProcessResult> navigated = bridge::bridge_run("browser_navigate", navigate_request);
        if (!navigated) {
            return std::move(navigated).error();
        }
    }

    // 6. Give the page time to render its links.
    ok("skiff at " + page);
    std::this_thread::sleep_for(std::chrono::seconds(4));

    // 7. The PDF link: given, or found among the page's anchors.
    std::string pdf_url;
    if (args.pdf_url) {
        pdf_url = *args.pdf_url;
    } else {
        Result<std::string> anchor = eval_string(args.session, bridge::anchor_finder_expr(mpn));
        if (!anchor) {
            return std::move(anchor).error();
        }
        if (anchor->empty()) {
            record(mpn, *source, "skiff_no_pdf_link",
                   "page " + page + " had no anchor with .pdf or 'datasheet'/'文件' text matching " + mpn);
            return Error("could not find a PDF anchor on " + page + " matching " + mpn +
                         "; pass --pdf-url <direct-url>");
        }
        ok("found PDF anchor: " + *anchor);
        pdf_url = *anchor;
    }

    // 8. Download inside the page; the body comes back as Base64.
    Result<std::string> fetched = eval_string(args.session, bridge::fetcher_expr(pdf_url));
    if (!fetched) {
        return std::move(fetched).error();
    }

    // 9. "JVBERi" is the Base64 form of "%PDF-"; anything else (an HTTP status
    // such as "http 403", an HTML page) is not a datasheet.
    if (fetched->size() <= 5 || !util::starts_with(*fetched, "JVBERi")) {
        const std::string prefix = util::utf8_prefix(*fetched, 80);
        record(mpn, *source, "skiff_fetch_not_pdf", "fetch returned non-PDF bytes (b64 prefix: " + prefix + ")");
        return Error("fetched bytes are not a PDF (base64 prefix: " + prefix + ")");
    }
    Result<std::string> bytes = bridge::base64_decode(*fetched);
    if (!bytes) {
        return Error("base64 decode failed: " + bytes.error().message);
    }

    // 10. The decoded bytes must carry the PDF magic themselves.
    if (bytes->size() < 4 || !util::starts_with(*bytes, "%PDF")) {
        return Error("decoded bytes don't start with %PDF (decoder integrity issue)");
    }

    // 11. One atomic write of the datasheet, then the ledger.
    const library::fs::path target = library::chip_file(mpn, ".pdf");
    if (Status written = util::write_file_atomic(target, *bytes); !written) {
        return std::move(written).error();
    }
    const std::string kb = std::to_string(bytes->size() / 1024);
    ok("wrote " + target.string() + " (" + kb + " KB, " + args.source + ")");
    record(mpn, *source, "OK",
           "skiff-pdf-fetch via " + args.source + " → " + pdf_url + " (" + kb + " KB), %PDF magic verified");
    return {};
}

}  // namespace kestrel::cli
