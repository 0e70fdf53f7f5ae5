// The action routes other than `open`: background runs, reveal, orientation,
// credentials and delivery. Every failure becomes a JSON error reply; nothing
// here stops the server.

#include "dashboard/actions.hpp"

#include <string_view>
#include <system_error>
#include <vector>

#include "cli/paths.hpp"
#include "dashboard/actions_spawn.hpp"
#include "dashboard/actions_support.hpp"
#include "deliver/deliver.hpp"
#include "heartbeat/heartbeat.hpp"
#include "library/chip.hpp"
#include "store/credentials.hpp"
#include "util/process.hpp"
#include "util/text.hpp"

namespace kestrel::dashboard {

namespace {

namespace fs = std::filesystem;

// The rest of the routing path after `prefix`, verbatim.
std::string path_rest(const serve::Request& request, std::string_view prefix) {
    if (!util::starts_with(request.path, prefix)) {
        return std::string();
    }
    return request.path.substr(prefix.size());
}

// Starts `kestrel <args>` in the background, posts the "dashboard kicked"
// heartbeat and replies.
serve::Reply kick(const std::string& action, const std::string& mpn, std::vector<std::string> args) {
    args.insert(args.begin(), "kestrel");
    util::Result<int> started = start_and_forget(args);
    if (!started) {
        return error_reply(500, "could not spawn kestrel " + action + ": " + started.error().one_line());
    }
    (void)heartbeat::post_heartbeat(mpn, "dashboard kicked: " + action);
    util::ordered_json body;
    body["ok"] = true;
    body["action"] = action;
    body["mpn"] = mpn;
    body["hint"] = "polling /api/library shows new state";
    return ordered_reply(body);
}

}  // namespace

serve::Reply post_validate(const serve::Request& request) {
    std::string mpn = path_rest(request, "/api/validate/");
    return kick("validate", mpn, {"validate", mpn});
}

serve::Reply post_thumbnails(const serve::Request& request) {
    std::string mpn = path_rest(request, "/api/thumbnails/");
    return kick("thumbnails", mpn, {"thumbnails", "--mpn", mpn, "--force"});
}

serve::Reply post_refetch(const serve::Request& request) {
    std::string mpn = path_rest(request, "/api/refetch/");
    RefetchQuery query = parse_refetch_query(request.query);
    if (query.format.empty() || query.source.empty()) {
        return error_reply(400, "need ?format=X&source=Y");
    }
    return kick("refetch", mpn, {"refetch", mpn, "--format", query.format, "--source", query.source});
}

serve::Reply post_reveal(const serve::Request& request) {
    util::Result<Body> body = Body::parse(request.body);
    if (!body) {
        return error_reply(400, body.error().message);
    }
    // An empty MPN reveals the library itself.
    std::string mpn = body->text("mpn");
    fs::path target = cli::library_root();
    if (!mpn.empty()) {
        if (!valid_body_mpn(mpn)) {
            return error_reply(400, "invalid mpn");
        }
        target /= mpn;
        std::error_code ec;
        if (!fs::exists(target, ec)) {
            return error_reply(404, "no library folder for mpn " + mpn);
        }
    }
    const std::string path = target.string();
    util::Result<util::ProcessResult> ran = util::run({"velm-vscode", "reveal", path});
    if (!ran) {
        return error_reply(500, "velm-vscode not runnable: " + ran.error().one_line());
    }
    if (!ran->success()) {
        util::ordered_json failed;
        failed["error"] = "velm-vscode failed";
        failed["stderr"] = ran->err;
        return ordered_reply(failed, 500);
    }
    util::ordered_json done;
    done["ok"] = true;
    done["path"] = path;
    return ordered_reply(done);
}

serve::Reply post_deliver(const serve::Request& request) {
    ChipRequest chip = read_chip_request(request);
    if (chip.refusal) {
        return *chip.refusal;
    }
    std::string target = chip.body->field("target").value_or("kicad");
    return serve::json_reply(deliver::deliver(chip.mpn, target));
}

serve::Reply post_orientation(const serve::Request& request) {
    util::Result<Body> body = Body::parse(request.body);
    if (!body) {
        return error_reply(400, body.error().message);
    }
    std::string mpn = body->text("mpn");
    if (!valid_body_mpn(mpn)) {
        return error_reply(400, "invalid mpn");
    }
    std::string axis = body->text("axis");
    if (!accepted_axis(axis)) {
        return error_reply(400, "axis must be 'z' or 'y'");
    }
    const fs::path info = library::info_path(mpn);
    std::error_code ec;
    if (!fs::exists(info, ec)) {
        return error_reply(404, "no info.json for " + mpn);
    }

    // The whole record is rewritten under the folder lock, keeping every key
    // this route does not own.
    std::optional<serve::Reply> refused;
    util::Status written = util::update_json(info, [&](const util::JsonRead& current)
                                                       -> util::Result<std::optional<util::json>> {
        switch (current.state) {
        case util::ReadState::Missing:
            refused = error_reply(404, "no info.json for " + mpn);
            return util::Error("missing");
        case util::ReadState::Unreadable:
            refused = error_reply(500, "read info.json: " + current.error);
            return util::Error("unreadable");
        case util::ReadState::Unparseable:
            refused = error_reply(500, "parse info.json: " + current.error);
            return util::Error("unparseable");
        case util::ReadState::Ok:
            break;
        }
        if (!current.value.is_object()) {
            refused = error_reply(500, "parse info.json: not a JSON object");
            return util::Error("not an object");
        }
        util::json record = current.value;
        long long now = util::unix_now();
        record["chosen_up_axis"] = axis;
        record["chosen_up_axis_at"] = now > 0 ? std::to_string(now) : std::string();
        return std::optional<util::json>(std::move(record));
    });
    if (refused) {
        return *refused;
    }
    if (!written) {
        return error_reply(500, "write info.json: " + written.error().one_line());
    }
    util::ordered_json done;
    done["ok"] = true;
    done["mpn"] = mpn;
    done["axis"] = axis;
    return ordered_reply(done);
}

serve::Reply get_credentials(const serve::Request& /*request*/) {
    util::Result<std::vector<store::Credential>> loaded = store::load_credentials();
    if (!loaded) {
        return error_reply(500, loaded.error().one_line());
    }
    util::ordered_json list = util::ordered_json::array();
    for (const store::Credential& credential : *loaded) {
        util::ordered_json entry;
        entry["host"] = credential.host;
        entry["username"] = credential.username;
        entry["password"] = credential.password;
        list.push_back(std::move(entry));
    }
    util::ordered_json body;
    body["credentials"] = std::move(list);
    return ordered_reply(body);
}

serve::Reply post_credentials(const serve::Request& request) {
    util::Result<Body> body = Body::parse(request.body);
    if (!body) {
        return error_reply(400, body.error().message);
    }
    std::string host = body->text("host");
    std::string username = body->text("username");
    std::string password = body->text("password");
    if (host.empty() || username.empty() || password.empty()) {
        return error_reply(400, "host, username, password all required");
    }
    util::Status saved = store::upsert_credential(host, username, password);
    if (!saved) {
        return error_reply(500, saved.error().one_line());
    }
    util::ordered_json done;
    done["ok"] = true;
    return ordered_reply(done);
}

serve::Reply delete_credentials(const serve::Request& request) {
    std::string host = decode_credential_host(path_rest(request, "/api/credentials/"));
    util::Result<bool> removed = store::delete_credential(host);
    if (!removed) {
        return error_reply(500, removed.error().one_line());
    }
    util::ordered_json done;
    done["ok"] = true;
    done["removed"] = *removed;
    return ordered_reply(done);
}

}  // namespace kestrel::dashboard
