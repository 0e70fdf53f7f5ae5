#pragma once
// Making the dashboard visible: a server answering on the dashboard port and a
// window showing its page, either a skiff browser window driven through the
// desktop bridge or a tab of the Halyard webview. The user's choice of surface
// is kept in ~/.config/kestrel/dashboard.json.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "util/error.hpp"

namespace kestrel::dashboard {

namespace fs = std::filesystem;

enum class Surface { Skiff, Webview };

// The stored preference; the skiff window unless the file says otherwise.
struct DashboardConfig {
    Surface surface = Surface::Skiff;
};

// Where a background dashboard server writes its output.
inline constexpr const char* k_dashboard_log = "/tmp/kestrel-dashboard.log";
// The local address the server is probed and started on.
inline constexpr const char* k_dashboard_local_url = "http://127.0.0.1:8786/";

// `<HOME>/.config/kestrel/dashboard.json`; nothing without HOME.
std::optional<fs::path> dashboard_config_path();

// A stored surface value: lower-cased, "webview" or "halyard" mean the webview,
// anything else the skiff window.
Surface surface_from_stored(std::string_view value);

// A value given to set-surface: lower-cased, "skiff" or "webview"/"halyard";
// nothing for anything else.
std::optional<Surface> parse_surface_choice(std::string_view value);

// "Skiff" or "Webview", as messages show a surface.
std::string_view surface_title(Surface surface);

// The preference as stored; a missing, unreadable or unparseable file (or no
// HOME) reads as the skiff window.
DashboardConfig read_dashboard_config();

// Writes the preference file whole, creating its folder. Fails with "HOME not
// set" without HOME, or with the file system's error. Returns the file's path.
util::Result<fs::path> write_dashboard_config(const DashboardConfig& config);

// Whether a dashboard server answers on 127.0.0.1:8786 (a two-second curl
// probe of /api/library). Never fails.
bool dashboard_reachable();

// Starts a background `kestrel serve` when nothing answers on the dashboard
// port and shows the page on the preferred surface (`force` opens a new skiff
// window even when one is open). Fails when the server does not come up within
// three seconds or no skiff window can be opened; the message is one line.
util::Status dashboard_ensure(bool force);

}  // namespace kestrel::dashboard
