#include "bridge/bridge.hpp"

#include <chrono>
#include <mutex>
#include <optional>
#include <vector>

#include "bridge/inject.hpp"
#include "bridge/text.hpp"
#include "cli/output.hpp"
#include "store/credentials.hpp"
#include "util/text.hpp"

namespace kestrel::bridge {

namespace {

using util::Error;
using util::json;
using util::ordered_json;
using util::Result;

bool is_lost_session_code(const json& reply) {
    if (!reply.is_object() || reply.empty()) {
        return false;
    }
    auto it = reply.find("errorCode");
    if (it == reply.end() || !it->is_string()) {
        return false;
    }
    const std::string& code = it->get_ref<const std::string&>();
    return code == "session_not_found" || code == "session_disconnected";
}

// `["a", "b"]`: the live-session list as the recovery lines show it.
std::string format_live(const std::vector<std::string>& live) {
    std::string out = "[";
    for (size_t i = 0; i < live.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += bridge::quoted(live[i]);
    }
    return out + "]";
}

// The string members of a reply's `liveSessions` array; empty when the reply is
// not an object or has no such array.
std::vector<std::string> live_sessions_of(const json& reply) {
    std::vector<std::string> live;
    if (!reply.is_object()) {
        return live;
    }
    auto it = reply.find("liveSessions");
    if (it == reply.end() || !it->is_array()) {
        return live;
    }
    for (const json& item : *it) {
        if (item.is_string()) {
            live.push_back(item.get<std::string>());
        }
    }
    return live;
}

// One browser_rescan for the recovery path: any failure reads as "nothing live".
std::vector<std::string> rescan_live_sessions() {
    Result<util::ProcessResult> ran = bridge_run("browser_rescan", ordered_json::object());
    if (!ran || ran->exit_code != 0) {
        return {};
    }
    json reply = json::parse(ran->out, nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) {
        return {};
    }
    return live_sessions_of(reply);
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    for (const std::string& s : list) {
        if (s == item) {
            return true;
        }
    }
    return false;
}

struct ConnectedCache {
    std::mutex mutex;
    std::optional<bool> answer;
    std::chrono::steady_clock::time_point taken;
};

ConnectedCache& connected_cache() {
    static ConnectedCache cache;
    return cache;
}

bool probe_connected() {
    Result<util::ProcessResult> ran = util::run({"timeout", "3", k_bridge_program, "status"});
    if (!ran) {
        return false;
    }
    json reply = json::parse(lossy_utf8(ran->out), nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) {
        return false;
    }
    auto it = reply.find("clients");
    if (it == reply.end()) {
        return false;
    }
    if (it->is_number_unsigned()) {
        return it->get<std::uint64_t>() > 0;
    }
    if (it->is_number_integer()) {
        return it->get<std::int64_t>() > 0;
    }
    return false;
}

}  // namespace

std::string compact_request(const ordered_json& request) { return util::dump_json(request, -1); }

Result<util::ProcessResult> bridge_run(const std::string& operation, const ordered_json& request) {
    return util::run({k_bridge_program, operation, compact_request(request)});
}

Result<json> bridge_call(const std::string& operation, const ordered_json& request, bool retry) {
    Result<util::ProcessResult> ran = bridge_run(operation, request);
    if (!ran) {
        return std::move(ran).error().context(std::string("running ") + k_bridge_program + " " + operation);
    }
    if (ran->exit_code != 0 || ran->timed_out) {
        return Error(std::string(k_bridge_program) + " " + operation + " failed: " + trim_line_end(lossy_utf8(ran->err)));
    }
    json reply;
    try {
        reply = json::parse(ran->out);
    } catch (const json::parse_error& e) {
        return Error(e.what()).context(std::string("parsing ") + k_bridge_program + " " + operation + " stdout");
    }
    if (!retry || !is_lost_session_code(reply)) {
        return reply;
    }

    // A lost browser session: ask the bridge to rescan, and retry once if the
    // session came back. The retried call never recovers again.
    std::string session;
    if (request.is_object()) {
        auto it = request.find("sessionId");
        if (it != request.end() && it->is_string()) {
            session = it->get<std::string>();
        }
    }
    const std::string code = reply["errorCode"].get<std::string>();
    cli::warn(std::string(k_bridge_program) + " " + operation + " returned " + code + " for session " +
              bridge::quoted(session) + "; running browser_rescan");
    std::vector<std::string> live = rescan_live_sessions();
    if (!session.empty() && contains(live, session)) {
        cli::ok("rescan recovered session " + bridge::quoted(session) + " (live now: " + format_live(live) + "); retrying " +
                operation);
        return bridge_call(operation, request, false);
    }
    cli::warn("rescan did not recover " + bridge::quoted(session) + " (live: " + format_live(live) +
              "); returning original error");
    return reply;
}

Result<json> bridge_open_window(const std::string& session, const std::string& profile, const std::string& url) {
    ordered_json request = ordered_json::object();
    request["sessionId"] = session;
    request["profile"] = profile;
    request["url"] = inject_credentials(url);
    return bridge_call("browser_open_window", request, true);
}

Result<json> bridge_open_tab(const std::string& session, const std::string& url) {
    ordered_json request = ordered_json::object();
    request["sessionId"] = session;
    request["url"] = inject_credentials(url);
    return bridge_call("browser_open_tab", request, true);
}

Result<json> bridge_eval(const std::string& session, const std::string& expression) {
    ordered_json request = ordered_json::object();
    request["sessionId"] = session;
    request["expr"] = expression;
    Result<json> reply = bridge_call("browser_eval", request, true);
    if (!reply) {
        return reply;
    }
    if (reply->is_object()) {
        auto it = reply->find("result");
        if (it != reply->end()) {
            return json(*it);
        }
    }
    return reply;
}

Result<json> bridge_watch_files(const std::string& desktop_folder, const std::string& pattern, long long timeout_ms) {
    ordered_json request = ordered_json::object();
    request["path"] = desktop_folder;
    request["glob"] = pattern;
    request["timeoutMs"] = timeout_ms;
    return bridge_call("desktop_watch_files", request, true);
}

Result<std::string> bridge_pull_file(const std::string& desktop_path, const std::string& local_folder) {
    ordered_json request = ordered_json::object();
    request["filePaths"] = ordered_json::array({desktop_path});
    request["saveTo"] = local_folder;
    Result<json> reply = bridge_call("pull_file", request, true);
    if (!reply) {
        return std::move(reply).error();
    }
    const json& r = *reply;
    if (r.is_object()) {
        auto files = r.find("files");
        if (files != r.end() && files->is_array() && !files->empty() && (*files)[0].is_object()) {
            auto path = (*files)[0].find("path");
            if (path != (*files)[0].end() && path->is_string()) {
                return path->get<std::string>();
            }
        }
    }
    return Error("pull_file returned no path: " + util::dump_json(r, -1));
}

SessionState bridge_session_alive(const std::string& session) {
    Result<util::ProcessResult> listed = bridge_run("browser_list_windows", ordered_json::object());
    if (!listed) {
        return SessionState::Unknown;
    }
    // A plain text search on purpose: the listing's shape is the bridge's own.
    const std::string text = lossy_utf8(listed->out);
    if (text.find("\"sessionId\":\"" + session + "\"") != std::string::npos ||
        text.find("\"sessionId\": \"" + session + "\"") != std::string::npos) {
        return SessionState::Open;
    }

    Result<util::ProcessResult> rescanned = bridge_run("browser_rescan", ordered_json::object());
    if (!rescanned) {
        return SessionState::Unknown;
    }
    if (rescanned->exit_code != 0 || rescanned->timed_out) {
        return SessionState::NotOpen;
    }
    json reply = json::parse(rescanned->out, nullptr, false);
    if (reply.is_discarded()) {
        return SessionState::Unknown;
    }
    if (contains(live_sessions_of(reply), session)) {
        cli::ok("browser_rescan recovered session " + bridge::quoted(session));
        return SessionState::Open;
    }
    return SessionState::NotOpen;
}

bool bridge_connected() {
    constexpr std::chrono::seconds k_cache_life{15};
    ConnectedCache& cache = connected_cache();
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        if (cache.answer && std::chrono::steady_clock::now() - cache.taken < k_cache_life) {
            return *cache.answer;
        }
    }
    // The lock is not held while the probe runs; of two concurrent probes the
    // later store wins.
    const bool answer = probe_connected();
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.answer = answer;
    cache.taken = std::chrono::steady_clock::now();
    return answer;
}

void reset_connected_cache() {
    ConnectedCache& cache = connected_cache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.answer.reset();
}

std::string url_host(const std::string& url) {
    size_t scheme_end = url.find("://");
    std::string rest = scheme_end == std::string::npos ? url : url.substr(scheme_end + 3);
    size_t cut = rest.find_first_of("#/?");
    if (cut != std::string::npos) {
        rest.resize(cut);
    }
    cut = rest.find(':');
    if (cut != std::string::npos) {
        rest.resize(cut);
    }
    return util::to_lower(rest);
}

std::optional<size_t> credential_score(const std::string& pattern, const std::string& host) {
    const std::string value = util::to_lower(pattern);
    if (util::starts_with(value, "*.")) {
        const std::string suffix = value.substr(2);
        if (host == suffix || util::ends_with(host, "." + suffix)) {
            return suffix.size();
        }
        return std::nullopt;
    }
    if (host == value) {
        return value.size() * 2;
    }
    return std::nullopt;
}

std::string insert_credentials(const std::string& url, const std::vector<store::Credential>& credentials) {
    const std::string host = url_host(url);
    const store::Credential* best = nullptr;
    size_t best_score = 0;
    for (const store::Credential& c : credentials) {
        std::optional<size_t> score = credential_score(c.host, host);
        // Strictly greater: among equal scores the earliest stored entry wins.
        if (score && (best == nullptr || *score > best_score)) {
            best = &c;
            best_score = *score;
        }
    }
    if (best == nullptr) {
        return url;
    }
    size_t scheme_end = url.find("://");
    if (scheme_end == std::string::npos) {
        return url;
    }
    const std::string rest = url.substr(scheme_end + 3);
    if (rest.find('@') != std::string::npos) {
        return url;
    }
    return url.substr(0, scheme_end) + "://" + util::percent_encode(best->username) + ":" +
           util::percent_encode(best->password) + "@" + rest;
}

std::string inject_credentials(const std::string& url) {
    util::Result<std::vector<store::Credential>> credentials = store::load_credentials();
    if (!credentials) {
        return url;
    }
    return insert_credentials(url, *credentials);
}

}  // namespace kestrel::bridge
