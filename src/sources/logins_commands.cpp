// `login`: lists the sign-in catalog, or opens one or all sign-in pages in
// the `kestrel` browser window, whose profile keeps the cookies.

#include <string>

#include "bridge/bridge.hpp"
#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "hints/hints.hpp"
#include "sources/logins.hpp"
#include "util/text.hpp"

namespace kestrel::cli {

namespace {

void list_logins() {
    line("known sources:");
    for (const sources::LoginSource& source : sources::login_sources()) {
        line("  " + util::pad_right(source.slug, 18) + "  " + std::string(source.name));
        line("  " + util::pad_right("", 18) + "  " + std::string(source.url));
    }
}

Status open_all_logins() {
    line(std::string("opening login pages for all sources as tabs in profile '") + bridge::k_profile + "'");
    for (const sources::LoginSource& source : sources::login_sources()) {
        const std::string url(source.url);
        line("  → " + std::string(source.slug) + ": " + url);
        // The tab is a best effort; the window must open, and the first one
        // that does not ends the command.
        (void)bridge::bridge_open_tab(bridge::k_session_main, url);
        util::Result<util::json> opened = bridge::bridge_open_window(bridge::k_session_main, bridge::k_profile, url);
        if (!opened) {
            return std::move(opened).error();
        }
    }
    line("");
    line("log in to each, then 'Stay signed in' / Smart Lock will keep cookies for ~30 days.");
    return {};
}

}  // namespace

Status cmd_login(const LoginArgs& args) {
    if (args.source == "list") {
        list_logins();
        return {};
    }
    if (args.source == "all") {
        return open_all_logins();
    }
    std::optional<sources::LoginSource> source = sources::find_login_source(args.source);
    if (!source) {
        return util::Error("unknown source '" + args.source +
                           "' — run `kestrel login list` to see available sources, or `kestrel login all` to open "
                           "every source");
    }
    const std::string url(source->url);
    line("opening " + url + " for login — cookies will persist in profile '" + bridge::k_profile + "'");
    util::Result<util::json> opened = bridge::bridge_open_window(bridge::k_session_main, bridge::k_profile, url);
    if (!opened) {
        return std::move(opened).error();
    }
    hints::print_next_hints("login", std::nullopt);
    return {};
}

}  // namespace kestrel::cli
