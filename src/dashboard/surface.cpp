// The dashboard surface: the preference file, the reachability probe,
// dashboard_ensure, and the commands `dashboard ensure|set-surface|surface`
// and `app`.

#include "dashboard/surface.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "bridge/bridge.hpp"
#include "bridge/text.hpp"
#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "cli/paths.hpp"
#include "dashboard/actions_urls.hpp"
#include "heartbeat/heartbeat.hpp"
#include "serve/server.hpp"
#include "util/json_file.hpp"
#include "util/process.hpp"
#include "util/text.hpp"

namespace kestrel::dashboard {

namespace {

// The browser session of the dashboard's skiff window.
constexpr const char* k_dashboard_session = bridge::k_session_dashboard;
constexpr const char* k_library_probe_url = "http://127.0.0.1:8786/api/library";
constexpr int k_start_polls = 20;
constexpr std::chrono::milliseconds k_start_poll_interval{150};

// The running program, so the background server is the same build; `kestrel`
// from the search path when the path cannot be found.
std::string own_executable() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) {
        return "kestrel";
    }
    return exe.string();
}

// `velm-cli workspace tab-open --url <url> --title kestrel`.
util::Result<util::ProcessResult> open_webview_tab(const std::string& url) {
    return util::run({"velm-cli", "workspace", "tab-open", "--url", url, "--title", "kestrel"});
}

void focus_dashboard_window() {
    util::ordered_json request = util::ordered_json::object();
    request["sessionId"] = k_dashboard_session;
    (void)bridge::bridge_run("browser_focus_window", request);
}

// Step 2 of dashboard_ensure: a detached `serve` and up to three seconds for it
// to answer.
util::Status start_server() {
    cli::warn("dashboard server not running; starting it...");
    // The log is shared by every user's background server, so a missing one is
    // created writable for all (less the umask) before the server appends to it.
    int log_fd = ::open(k_dashboard_log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (log_fd >= 0) {
        ::close(log_fd);
    }
    util::Result<int> pid =
        util::spawn_detached({own_executable(), "serve", "--port", "8786"}, std::string(k_dashboard_log));
    if (!pid) {
        return util::Error("spawn serve: " + pid.error().one_line());
    }
    for (int i = 0; i < k_start_polls; ++i) {
        std::this_thread::sleep_for(k_start_poll_interval);
        if (dashboard_reachable()) {
            break;
        }
    }
    if (!dashboard_reachable()) {
        return util::Error(std::string("dashboard server failed to start within 3s \u2014 see ") + k_dashboard_log);
    }
    cli::ok(std::string("dashboard server up on ") + k_dashboard_local_url);
    return {};
}

// Steps 4 and 5 of dashboard_ensure: focus the open skiff window or open one.
util::Status show_in_skiff(bool force) {
    if (!force && bridge::bridge_session_alive(k_dashboard_session) == bridge::SessionState::Open) {
        cli::ok(std::string("dashboard skiff window '") + k_dashboard_session + "' already open");
        focus_dashboard_window();
        return {};
    }
    const std::string url = viewer_url(heartbeat::k_dashboard_port);
    util::ordered_json request = util::ordered_json::object();
    request["profile"] = bridge::k_profile;
    request["sessionId"] = k_dashboard_session;
    request["url"] = url;
    util::Result<util::ProcessResult> opened = bridge::bridge_run("browser_open_window", request);
    if (!opened) {
        return util::Error("could not run velm-desktop: " + opened.error().one_line());
    }
    if (!opened->success()) {
        return util::Error("browser_open_window failed: " +
                           bridge::trim_line_end(bridge::lossy_utf8(opened->err)));
    }
    cli::ok("opened dashboard in skiff at " + url);
    focus_dashboard_window();
    return {};
}

}  // namespace

std::optional<fs::path> dashboard_config_path() {
    std::optional<fs::path> dir = cli::config_dir();
    if (!dir) {
        return std::nullopt;
    }
    return *dir / "dashboard.json";
}

Surface surface_from_stored(std::string_view value) {
    const std::string lower = util::to_lower(value);
    return (lower == "webview" || lower == "halyard") ? Surface::Webview : Surface::Skiff;
}

std::optional<Surface> parse_surface_choice(std::string_view value) {
    const std::string lower = util::to_lower(value);
    if (lower == "skiff") {
        return Surface::Skiff;
    }
    if (lower == "webview" || lower == "halyard") {
        return Surface::Webview;
    }
    return std::nullopt;
}

std::string_view surface_title(Surface surface) { return surface == Surface::Webview ? "Webview" : "Skiff"; }

DashboardConfig read_dashboard_config() {
    DashboardConfig config;
    std::optional<fs::path> path = dashboard_config_path();
    if (!path) {
        return config;
    }
    util::JsonRead doc = util::read_json(*path);
    if (!doc.is_object()) {
        return config;
    }
    auto it = doc.value.find("surface");
    if (it != doc.value.end() && it->is_string()) {
        config.surface = surface_from_stored(it->get<std::string>());
    }
    return config;
}

util::Result<fs::path> write_dashboard_config(const DashboardConfig& config) {
    std::optional<fs::path> path = dashboard_config_path();
    if (!path) {
        return util::Error("HOME not set");
    }
    std::error_code ec;
    fs::create_directories(path->parent_path(), ec);
    if (ec) {
        return util::Error("creating " + path->parent_path().string(), {ec.message()});
    }
    util::json doc = util::json::object();
    doc["surface"] = config.surface == Surface::Webview ? "webview" : "skiff";
    util::Status written = util::write_json(*path, doc);
    if (!written) {
        return std::move(written).error();
    }
    return *path;
}

bool dashboard_reachable() {
    util::Result<util::ProcessResult> probe =
        util::run({"curl", "-fs", "-m", "2", "-o", "/dev/null", k_library_probe_url});
    return probe.ok() && probe->success();
}

util::Status dashboard_ensure(bool force) {
    // 1 and 2. A server on the dashboard port, started when nobody answers.
    if (dashboard_reachable()) {
        cli::ok("dashboard server already running on :8786");
    } else {
        util::Status started = start_server();
        if (!started) {
            return started;
        }
    }

    // 3. The webview tab when preferred; a failed tab falls back to skiff.
    if (read_dashboard_config().surface == Surface::Webview) {
        util::Result<util::ProcessResult> tab = open_webview_tab(k_dashboard_local_url);
        if (tab.ok() && tab->success()) {
            cli::ok("opened dashboard in Halyard webview tab");
            return {};
        }
        cli::warn("velm-cli workspace tab-open failed \u2014 falling back to skiff");
    }

    // 4 and 5. The skiff window.
    return show_in_skiff(force);
}

}  // namespace kestrel::dashboard

namespace kestrel::cli {

Status cmd_dashboard_ensure(const DashboardEnsureArgs& args) { return dashboard::dashboard_ensure(args.force); }

Status cmd_dashboard_set_surface(const DashboardSetSurfaceArgs& args) {
    std::optional<dashboard::Surface> surface = dashboard::parse_surface_choice(args.surface);
    if (!surface) {
        return util::Error("surface must be 'skiff' or 'webview'");
    }
    util::Result<fs::path> path = dashboard::write_dashboard_config(dashboard::DashboardConfig{*surface});
    if (!path) {
        return std::move(path).error();
    }
    ok("dashboard surface set to " + std::string(dashboard::surface_title(*surface)) + " (" + path->string() + ")");
    hint("verify with `kestrel dashboard ensure`");
    return {};
}

Status cmd_dashboard_surface(const DashboardSurfaceArgs& /*args*/) {
    line("dashboard surface: " + std::string(dashboard::surface_title(dashboard::read_dashboard_config().surface)));
    hint("change with `kestrel dashboard set-surface skiff|webview`");
    return {};
}

Status cmd_app(const AppArgs& args) {
    // The server runs on a thread of this process; when the port is taken its
    // bind fails quietly and whoever holds the port serves the tab instead.
    std::thread server([port = args.port] { (void)serve::run_server(port); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string url = "http://127.0.0.1:" + std::to_string(args.port);
    line("opening " + url + " in Halyard webview");
    util::Result<util::ProcessResult> tab =
        util::run({"velm-cli", "workspace", "tab-open", "--url", url, "--title", "kestrel"});
    if (!tab || !tab->success()) {
        // The process ends with the error; the server thread ends with it.
        server.detach();
        if (!tab) {
            return std::move(tab).error().context("running velm-cli workspace tab-open");
        }
        return util::Error("velm-cli workspace tab-open returned non-zero exit");
    }
    server.join();
    return {};
}

}  // namespace kestrel::cli
