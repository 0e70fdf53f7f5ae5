// post_heartbeat and the readers of its record. A heartbeat is a side channel:
// apart from a record that cannot be serialised, nothing that goes wrong here
// (no dashboard, no bridge, unwritable /tmp or library) may fail the command
// that sends it, so every step after the first swallows its own errors and at
// most prints a line.

#include "heartbeat/heartbeat.hpp"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <string_view>
#include <vector>

#include "bridge/bridge.hpp"
#include "bridge/text.hpp"
#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "inventory/scan.hpp"
#include "library/chip.hpp"
#include "library/ledger.hpp"
#include "util/json_file.hpp"
#include "util/process.hpp"
#include "util/text.hpp"

namespace kestrel::heartbeat {

namespace fs = std::filesystem;

namespace {

// A name that never gets a stub record; used for throwaway heartbeats.
constexpr std::string_view k_reserved_mpn = "ZZZ";

constexpr const char* k_activity_url = "http://127.0.0.1:8786/api/activity";

// The card-scroll script, split where the MPN's string literal goes.
constexpr std::string_view k_scroll_head = "(()=>{const m=";
constexpr std::string_view k_scroll_tail =
    ";const c=document.querySelector(`[data-mpn=\"${m}\"]`);if(c){c.scrollIntoView({behavior:'smooth',"
    "block:'center'});c.style.outline='3px solid #5cf';setTimeout(()=>c.style.outline='',2500);return 'card';}"
    "const b=document.querySelector('.activity-banner,.heartbeat-banner,[data-activity]');if(b){b.scrollIntoView("
    "{behavior:'smooth',block:'start'});return 'banner';}window.scrollTo({top:0,behavior:'smooth'});return 'top';})()";

// Step 3: a stub info.json for a chip seen for the first time. Returns whether
// both the folder and the file were written.
bool create_stub(const std::string& mpn, const std::string& stage, long long ts) {
    if (mpn.empty() || mpn == k_reserved_mpn || !library::is_safe_mpn(mpn)) {
        return false;
    }
    std::error_code ec;
    if (fs::exists(library::info_path(mpn), ec) || ec) {
        return false;
    }
    if (!library::ensure_chip_dir(mpn)) {
        return false;
    }
    // The existence test is repeated under the folder lock, so a record written
    // by another process in the meantime is never replaced by a stub.
    bool written = false;
    util::Status st = util::update_json(
        library::info_path(mpn), [&](const util::JsonRead& current) -> util::Result<std::optional<util::json>> {
            if (current.state != util::ReadState::Missing) {
                return std::optional<util::json>();
            }
            util::json stub = util::json::object();
            stub["mpn"] = mpn;
            stub["stage"] = stage;
            stub["started_at"] = ts;
            stub["state"] = "in_progress";
            written = true;
            return std::optional<util::json>(std::move(stub));
        });
    return st.ok() && written;
}

// Step 4: true when the dashboard server took the report.
bool post_to_dashboard(const std::string& body) {
    util::Result<util::ProcessResult> result =
        util::run({"curl", "-fs", "-m", "2", "-X", "POST", "-H", "Content-Type: application/json", "-d", body,
                   k_activity_url});
    return result.ok() && result->success();
}

// Step 6: asks the dashboard window to bring the chip's card into view. Only a
// bridge that cannot be started is worth a line; a window that is not open is
// the normal case when no dashboard is shown.
void scroll_card(const std::string& mpn) {
    std::string bare = mpn;
    bare.erase(std::remove(bare.begin(), bare.end(), '"'), bare.end());
    std::string script;
    script.append(k_scroll_head);
    script.append(util::js_string(bare));
    script.append(k_scroll_tail);
    util::ordered_json request = util::ordered_json::object();
    request["expr"] = script;
    request["sessionId"] = bridge::k_session_dashboard;
    util::Result<util::ProcessResult> result = bridge::bridge_run("browser_eval", request);
    if (!result) {
        cli::warn("could not scroll card " + mpn + " into focus: " + result.error().one_line());
        return;
    }
    if (result->success()) {
        cli::ok("scrolled card " + mpn + " into focus on dashboard");
    }
}

void print_stub_hints(const std::string& mpn) {
    cli::line("");
    cli::hint("new stub created for " + mpn +
              ". ALWAYS start at the manufacturer's site, then walk the ladder IN ORDER (no skipping). See "
              "`kestrel sources` for the full priority list.");
    cli::hint(
        "Order: Mfr \u2192 SnapMagic \u2192 Mouser \u2192 DigiKey \u2192 Arrow \u2192 CSE/UL \u2192 LCSC. LCSC is "
        "LAST RESORT \u2014 surface 'no manufacturer CAD' to user before reaching for it.");
}

bool row_complete(const inventory::ChipRow& row) {
    return row.has_pdf && row.has_step && row.has_sym && row.has_mod;
}

// Step 8: keeps incomplete cards in front of the agent.
void remind_incomplete(const std::string& mpn) {
    util::Result<inventory::LibrarySummary> scan = inventory::scan_library();
    if (!scan) {
        return;
    }
    const std::vector<inventory::ChipRow>& rows = scan->chips;
    for (const inventory::ChipRow& row : rows) {
        if (row.mpn != mpn || row_complete(row)) {
            continue;
        }
        std::vector<std::string> missing;
        if (!row.has_pdf) {
            missing.emplace_back("datasheet.pdf");
        }
        if (!row.has_step) {
            missing.emplace_back("STEP");
        }
        if (!row.has_sym) {
            missing.emplace_back("KiCad .kicad_sym");
        }
        if (!row.has_mod) {
            missing.emplace_back("KiCad .kicad_mod");
        }
        cli::line("");
        cli::warn("card " + mpn + " is INCOMPLETE \u2014 missing: " + util::join(missing, ", "));
        cli::hint("do NOT claim done on " + mpn +
                  ". Walk the ladder for each missing piece. `kestrel gate` for full status.");
        break;
    }
    size_t incomplete = static_cast<size_t>(
        std::count_if(rows.begin(), rows.end(), [](const inventory::ChipRow& r) { return !row_complete(r); }));
    if (incomplete > 0) {
        cli::warn(std::to_string(incomplete) + "/" + std::to_string(rows.size()) +
                  " cards in library are still incomplete (run `kestrel gate` to see all).");
    }
}

// Step 9: a label that reports a finished sourcing attempt becomes a ledger entry.
void record_chain_entry(const std::string& mpn, const std::string& stage) {
    std::optional<std::pair<std::string, std::string>> entry = stage_chain_entry(stage);
    if (!entry) {
        return;
    }
    const auto* slug = std::find(std::begin(library::k_ladder_slugs), std::end(library::k_ladder_slugs),
                                 std::string_view(entry->first));
    const size_t index = static_cast<size_t>(slug - std::begin(library::k_ladder_slugs));
    util::Result<bool> appended = library::append_chain_entry(mpn, index, entry->second, stage);
    if (appended.ok() && *appended) {
        cli::ok("chain " + entry->first + " \u2192 " + entry->second + " recorded for " + mpn +
                " (run `kestrel next-source " + mpn + "` to see what's next)");
    }
}

// The phase a stage file holds: a non-negative integer `phase`, else 0.
std::uint64_t previous_phase(const std::string& path) {
    util::JsonRead doc = util::read_json(path);
    if (!doc.is_object()) {
        return 0;
    }
    auto it = doc.value.find("phase");
    if (it == doc.value.end()) {
        return 0;
    }
    if (it->is_number_unsigned()) {
        return it->get<std::uint64_t>();
    }
    if (it->is_number_integer() && it->get<long long>() >= 0) {
        return static_cast<std::uint64_t>(it->get<long long>());
    }
    return 0;
}

// Step 10: warns when a label skips phases (a file "imported" that was never
// seen downloading usually never landed), then remembers the new phase.
void check_phase(const std::string& mpn, const std::string& stage) {
    std::optional<int> phase = stage_phase(stage);
    if (!phase) {
        return;
    }
    const std::uint64_t p = static_cast<std::uint64_t>(*phase);
    std::optional<std::string> path = stage_file_path(mpn);
    const std::uint64_t q = path ? previous_phase(*path) : 0;
    // Written as q < p - 1 so that an absurd stored phase cannot overflow.
    if (q < p && p - q > 1) {
        cli::warn("stage jumped " + std::to_string(q) + "\u2192" + std::to_string(p) + " for " + mpn + " (" +
                  std::string(phase_name(q)) + "\u2192" + std::string(phase_name(p)) +
                  ") \u2014 skipped intermediate stages. Did the file actually land? Did you heartbeat "
                  "\"downloading\" / \"pulling\" / \"importing\"?");
    }
    if (!path) {
        return;
    }
    util::ordered_json record = util::ordered_json::object();
    record["phase"] = p;
    record["stage"] = stage;
    (void)util::write_file_atomic(*path, util::dump_json(record, -1));
}

}  // namespace

util::Result<std::string> heartbeat_json(const Heartbeat& hb) {
    util::ordered_json record = util::ordered_json::object();
    record["mpn"] = hb.mpn;
    record["stage"] = hb.stage;
    record["ts"] = hb.ts;
    try {
        return record.dump(-1);
    } catch (const util::ordered_json::exception& e) {
        return util::Error("serialising heartbeat", {e.what()});
    }
}

std::optional<std::string> stage_file_path(const std::string& mpn) {
    if (mpn.find('/') != std::string::npos || mpn.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return "/tmp/kestrel-stage-" + mpn + ".json";
}

std::optional<Heartbeat> read_heartbeat_file(const std::string& path) {
    util::JsonRead doc = util::read_json(path);
    if (!doc.is_object()) {
        return std::nullopt;
    }
    const util::json& v = doc.value;
    auto mpn = v.find("mpn");
    auto stage = v.find("stage");
    auto ts = v.find("ts");
    if (mpn == v.end() || !mpn->is_string() || stage == v.end() || !stage->is_string() || ts == v.end() ||
        !ts->is_number_unsigned()) {
        return std::nullopt;
    }
    const std::uint64_t seconds = ts->get<std::uint64_t>();
    if (seconds > static_cast<std::uint64_t>(std::numeric_limits<long long>::max())) {
        return std::nullopt;
    }
    return Heartbeat{mpn->get<std::string>(), stage->get<std::string>(), static_cast<long long>(seconds)};
}

std::optional<Heartbeat> read_last_heartbeat() { return read_heartbeat_file(k_last_heartbeat_path); }

long long heartbeat_age(const Heartbeat& hb) { return heartbeat_age(hb, util::unix_now()); }

long long heartbeat_age(const Heartbeat& hb, long long now) { return now > hb.ts ? now - hb.ts : 0; }

util::Status post_heartbeat(const std::string& mpn, const std::string& stage) {
    // 1. The record; the only step whose failure fails the heartbeat.
    const long long ts = util::unix_now();
    util::Result<std::string> body = heartbeat_json(Heartbeat{mpn, stage, ts});
    if (!body) {
        return std::move(body).error();
    }

    // 2. The last-heartbeat file, read by selfcheck and hint even when no
    // dashboard runs.
    (void)util::write_file_atomic(k_last_heartbeat_path, *body);

    // 3. A stub record for a chip seen for the first time.
    const bool stub_created = create_stub(mpn, stage, ts);

    // 4 and 5. The dashboard post and its report.
    const bool delivered = post_to_dashboard(*body);
    cli::ok("heartbeat " + mpn + " \u2192 " + bridge::quoted(stage));
    if (!delivered) {
        cli::warn(std::string("dashboard unreachable at ") + k_activity_url + ". Heartbeat cached locally.");
        cli::hint("start the dashboard with `kestrel app` so users can see live progress");
    }

    // 6. The chip's card on the dashboard window.
    scroll_card(mpn);

    // 7. Where a new chip starts.
    if (stub_created) {
        print_stub_hints(mpn);
    }

    // 8. Incomplete cards.
    remind_incomplete(mpn);

    // 9. A finished sourcing attempt goes into the ledger.
    record_chain_entry(mpn, stage);

    // 10. Skipped phases.
    check_phase(mpn, stage);
    return {};
}

}  // namespace kestrel::heartbeat

namespace kestrel::cli {

Status cmd_heartbeat(const HeartbeatArgs& args) { return heartbeat::post_heartbeat(args.mpn, args.stage); }

}  // namespace kestrel::cli
