#include "deliver/deliver.hpp"

#include <array>
#include <string_view>
#include <system_error>
#include <tuple>

#include "bridge/bridge.hpp"
#include "library/chip.hpp"
#include "util/process.hpp"
#include "util/text.hpp"

namespace kestrel::deliver {

namespace {

enum class Transport { KicadInstall, FusionOpen, Download };

struct TargetRow {
    std::string_view name;      // the `target` text, matched exactly
    std::string_view display;   // how messages name the tool
    std::string_view lbr_suffix;  // the generated file's suffix after the MPN; empty for KiCad
    Transport transport;
};

constexpr std::array<TargetRow, 5> k_targets = {{
    {"kicad", "KiCad", "", Transport::KicadInstall},
    {"fusion360", "Fusion 360", ".send.lbr", Transport::FusionOpen},
    {"fusion", "Fusion 360", ".send.lbr", Transport::FusionOpen},
    {"altium", "Altium", ".lbr", Transport::Download},
    {"orcad", "OrCAD", ".lbr", Transport::Download},
}};

// The texts of the download-only targets.
struct DownloadTexts {
    std::string_view target;
    std::string_view import_hint;
    bool export_works;
    std::string_view message_before_mpn;
    std::string_view message_after_mpn;
};

constexpr std::array<DownloadTexts, 2> k_download_texts = {{
    {"altium",
     "In Altium: File \u2192 Import Wizard \u2192 \"EAGLE Projects and Designs\" \u2192 select this .lbr \u2192 it "
     "generates the .SchLib / .PcbLib / .IntLib.",
     true, "Built a real EAGLE .lbr for ",
     " (symbol + footprint, lint-passed). Download it below and import it \u2014 Altium reads EAGLE libraries "
     "natively. A one-click Velm Desktop bridge would auto-import it; want to build that? Contribute on the wiki."},
    {"orcad",
     "OrCAD Capture can't import EAGLE .lbr directly (it uses .olb). For now route it through an EAGLE\u2192OrCAD "
     "translator or EDIF; a native OrCAD (.olb) exporter is on the roadmap.",
     false, "Built a real EAGLE .lbr for ",
     " (symbol + footprint, lint-passed). Download it below. A native OrCAD exporter (and an Velm Desktop bridge "
     "to auto-import) aren't built yet \u2014 want OrCAD in the Velm ecosystem? Contribute on the wiki."},
}};

// Where users learn about the desktop bridge and how to extend it.
constexpr std::string_view k_contribute_url = "https://docs.velm.dev/desktop-bridge";

// Reply texts that mean the desktop side is not there, whatever the call.
constexpr std::array<std::string_view, 4> k_offline_words = {"not connected", "no client", "offline", "timeout"};

std::string error_chain(const util::Error& error) {
    std::string text = error.message;
    for (const std::string& cause : error.causes) {
        text += ": " + cause;
    }
    return text;
}

const TargetRow* find_target(const std::string& name) {
    for (const TargetRow& row : k_targets) {
        if (row.name == name) {
            return &row;
        }
    }
    return nullptr;
}

const DownloadTexts& download_texts(std::string_view target) {
    for (const DownloadTexts& row : k_download_texts) {
        if (row.target == target) {
            return row;
        }
    }
    return k_download_texts[0];
}

bool file_exists(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string utf8_replaced(const std::string& text) {
    if (util::valid_utf8(text)) {
        return text;
    }
    util::json as_string = text;
    return util::json::parse(as_string.dump(-1, ' ', false, util::json::error_handler_t::replace))
        .get<std::string>();
}

util::json failure(const std::string& error) {
    util::json out;
    out["ok"] = false;
    out["error"] = error;
    return out;
}

util::json not_connected(const std::string& display) {
    util::json out;
    out["ok"] = false;
    out["target"] = display;
    out["offline"] = true;
    out["message"] = "File generated, but Velm Desktop isn't connected to " + display +
                     ". Open Velm Desktop on your laptop and try again.";
    return out;
}

util::json unreachable(const std::string& display, const std::string& error) {
    util::json out;
    out["ok"] = false;
    out["target"] = display;
    out["error"] = error;
    out["offline"] = error.find("unreachable") != std::string::npos;
    return out;
}

util::ordered_json send_files_request(const std::string& folder, const fs::path& file, const std::string& app) {
    util::ordered_json request;
    request["destinationFolder"] = folder;
    request["filePaths"] = util::ordered_json::array({file.string()});
    request["targetApp"] = app;
    return request;
}

BridgeOutcome call(const std::string& operation, const util::ordered_json& request) {
    return BridgeOutcome{operation, bridge_send(operation, request)};
}

// Why a call the bridge answered was refused, or nothing when it was accepted.
// A reply that says `ok` false or carries an error code is a refusal even when
// the bridge exited cleanly; a silent non-zero exit is one too.
std::optional<std::string> refusal(const BridgeReply& answer) {
    const util::json& reply = answer.reply;
    if (!reply.is_object()) {
        return std::nullopt;
    }
    auto ok = reply.find("ok");
    auto code = reply.find("errorCode");
    bool refused = (ok != reply.end() && ok->is_boolean() && !ok->get<bool>()) ||
                   (code != reply.end() && code->is_string() && !code->get<std::string>().empty());
    if (!refused) {
        return std::nullopt;
    }
    for (const char* key : {"error", "errorCode"}) {
        auto it = reply.find(key);
        if (it != reply.end() && it->is_string() && !it->get<std::string>().empty()) {
            return it->get<std::string>();
        }
    }
    std::string err = util::trim(answer.err);
    if (!err.empty()) {
        return err;
    }
    return util::dump_json(reply, -1);
}

}  // namespace

std::vector<std::string> lbr_generate_argv(const fs::path& chip_dir, const std::string& mpn,
                                           const fs::path& output) {
    std::vector<std::string> argv = {"velm-lbr", "generate"};
    fs::path sym = chip_dir / (mpn + ".kicad_sym");
    fs::path fp = chip_dir / (mpn + ".kicad_mod");
    if (file_exists(sym)) {
        argv.insert(argv.end(), {"--sym", sym.string()});
    }
    if (file_exists(fp)) {
        argv.insert(argv.end(), {"--fp", fp.string()});
    }
    argv.insert(argv.end(), {"--name", mpn, "--output", output.string()});
    return argv;
}

util::Result<LbrRun> run_lbr_generate(const fs::path& chip_dir, const std::string& mpn, const fs::path& output) {
    util::Result<util::ProcessResult> ran = util::run(lbr_generate_argv(chip_dir, mpn, output));
    if (!ran) {
        return ran.error();
    }
    LbrRun out;
    out.exit_code = ran->timed_out ? -1 : ran->exit_code;
    out.output_exists = file_exists(output);
    out.err = utf8_replaced(ran->err);
    return out;
}

util::Result<BridgeReply> bridge_send(const std::string& operation, const util::ordered_json& request) {
    util::Result<util::ProcessResult> ran = bridge::bridge_run(operation, request);
    if (!ran) {
        return util::Error("velm-desktop unreachable: " + error_chain(ran.error()));
    }
    BridgeReply out;
    out.exit_code = ran->exit_code;
    out.err = utf8_replaced(ran->err);
    std::string text = utf8_replaced(ran->out);
    try {
        out.reply = util::json::parse(text);
    } catch (const util::json::exception&) {
        out.reply = util::json::object();
        out.reply["ok"] = ran->success();
        out.reply["raw"] = text;
    }
    return out;
}

util::json evaluate_bridge_results(const std::vector<BridgeOutcome>& outcomes, const std::string& display,
                                   const std::string& what) {
    for (const BridgeOutcome& outcome : outcomes) {
        if (!outcome.result) {
            return unreachable(display, outcome.result.error().message);
        }
        const util::json& reply = outcome.result->reply;
        if (reply.is_object()) {
            auto connected = reply.find("bridgeConnected");
            if (connected != reply.end() && connected->is_boolean() && !connected->get<bool>()) {
                return not_connected(display);
            }
        }
        std::string lowered = util::to_lower(util::dump_json(reply, -1));
        for (std::string_view word : k_offline_words) {
            if (lowered.find(word) != std::string::npos) {
                return not_connected(display);
            }
        }
        if (std::optional<std::string> why = refusal(*outcome.result)) {
            return unreachable(display, "velm-desktop " + outcome.operation + " failed: " + *why);
        }
    }
    util::json out;
    out["ok"] = true;
    out["target"] = display;
    out["message"] = "Delivered " + what + " to " + display + ".";
    return out;
}

util::json deliver(const std::string& mpn, const std::string& target) {
    const fs::path dir = library::chip_dir(mpn);
    const fs::path sym = dir / (mpn + ".kicad_sym");
    const fs::path fp = dir / (mpn + ".kicad_mod");
    const bool has_sym = file_exists(sym);
    const bool has_fp = file_exists(fp);

    // Nothing can be delivered or generated without a KiCad file, whatever the tool.
    if (!has_sym && !has_fp) {
        return failure("no KiCad files for " + mpn);
    }
    const TargetRow* row = find_target(target);
    if (row == nullptr) {
        return failure("unknown target " + target);
    }
    const std::string display(row->display);

    // KiCad: send and install each file; every call is made before any is judged.
    if (row->transport == Transport::KicadInstall) {
        std::vector<BridgeOutcome> outcomes;
        const std::array<std::tuple<bool, fs::path, const char*, const char*>, 2> parts = {{
            {has_sym, sym, "symbols", "symbol"},
            {has_fp, fp, "footprints", "footprint"},
        }};
        for (const auto& [present, path, folder, type] : parts) {
            if (!present) {
                continue;
            }
            outcomes.push_back(call("send_files", send_files_request(folder, path, "kicad")));
            util::ordered_json install;
            install["libraryName"] = mpn;
            install["libraryPath"] = path.string();
            install["libraryType"] = type;
            outcomes.push_back(call("kicad_install_library", install));
        }
        return evaluate_bridge_results(outcomes, display, "symbol + footprint");
    }

    // The other tools take a generated EAGLE library. A non-zero exit that still
    // left the file behind counts as a success.
    const fs::path lbr = dir / (mpn + std::string(row->lbr_suffix));
    util::Result<LbrRun> generated = run_lbr_generate(dir, mpn, lbr);
    if (!generated) {
        return failure("velm-lbr not available: " + error_chain(generated.error()));
    }
    if (generated->exit_code != 0 && !generated->output_exists) {
        util::json out = failure("velm-lbr generate failed");
        out["detail"] = generated->err;
        return out;
    }

    if (row->transport == Transport::Download) {
        const DownloadTexts& texts = download_texts(row->name);
        util::json out;
        out["ok"] = false;
        out["needsBridge"] = true;
        out["target"] = display;
        out["assetUrl"] = "/asset/" + mpn + "/" + mpn + ".lbr";
        out["importHint"] = std::string(texts.import_hint);
        out["exportWorks"] = texts.export_works;
        out["contribute"] = std::string(k_contribute_url);
        out["message"] = std::string(texts.message_before_mpn) + mpn + std::string(texts.message_after_mpn);
        return out;
    }

    // Fusion 360: send the library, then open it where the laptop says it landed.
    std::vector<BridgeOutcome> outcomes;
    outcomes.push_back(call("send_files", send_files_request("fusion", lbr, "fusion360")));
    std::string open_path = lbr.string();
    if (outcomes.front().result) {
        const util::json& reply = outcomes.front().result->reply;
        if (reply.is_object()) {
            auto paths = reply.find("destinationPaths");
            if (paths != reply.end() && paths->is_array() && !paths->empty() && paths->front().is_string()) {
                open_path = paths->front().get<std::string>();
            }
        }
    }
    util::ordered_json open;
    open["filePath"] = open_path;
    outcomes.push_back(call("fusion_open_lbr", open));
    return evaluate_bridge_results(outcomes, display, "library (.lbr)");
}

}  // namespace kestrel::deliver
