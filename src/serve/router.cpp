#include "serve/router.hpp"

#include <array>
#include <exception>
#include <optional>

#include "dashboard/actions.hpp"
#include "serve/activity.hpp"
#include "serve/library_routes.hpp"
#include "util/text.hpp"

namespace kestrel::serve {

namespace {

using Handler = Reply (*)(const Request&);

enum class Match { Exact, Prefix };

// Who may call a route beyond the checks every request passes.
enum class Access {
    Anyone,
    ThisMachine,  // vendor passwords: loopback peers, or everyone behind a workspace proxy
};

struct Route {
    std::string_view method;
    Match match;
    std::string_view path;
    Handler handler;
    Access access;
};

Reply activity_post(const Request& request) { return post_activity(request, activity_store(), util::unix_now()); }
Reply activity_get(const Request& request) { return get_activity(request, activity_store(), util::unix_now()); }

constexpr std::array<Route, 20> k_routes{{
    {"GET", Match::Exact, "/", get_page, Access::Anyone},
    {"GET", Match::Exact, "/index.html", get_page, Access::Anyone},
    {"GET", Match::Exact, "/api/library", get_library, Access::Anyone},
    {"GET", Match::Exact, "/api/projects", get_projects, Access::Anyone},
    {"GET", Match::Exact, "/api/activity", activity_get, Access::Anyone},
    {"GET", Match::Exact, "/api/credentials", dashboard::get_credentials, Access::ThisMachine},
    {"POST", Match::Exact, "/api/activity", activity_post, Access::Anyone},
    {"POST", Match::Exact, "/api/open", dashboard::post_open, Access::Anyone},
    {"POST", Match::Exact, "/api/reveal", dashboard::post_reveal, Access::Anyone},
    {"POST", Match::Exact, "/api/deliver", dashboard::post_deliver, Access::Anyone},
    {"POST", Match::Exact, "/api/orientation", dashboard::post_orientation, Access::Anyone},
    {"POST", Match::Exact, "/api/credentials", dashboard::post_credentials, Access::ThisMachine},
    {"GET", Match::Prefix, "/api/chip/", get_chip, Access::Anyone},
    {"GET", Match::Prefix, "/asset/", get_asset, Access::Anyone},
    {"GET", Match::Prefix, "/thumb/", get_thumb, Access::Anyone},
    {"GET", Match::Prefix, "/svg/", get_svg, Access::Anyone},
    {"POST", Match::Prefix, "/api/validate/", dashboard::post_validate, Access::Anyone},
    {"POST", Match::Prefix, "/api/thumbnails/", dashboard::post_thumbnails, Access::Anyone},
    {"POST", Match::Prefix, "/api/refetch/", dashboard::post_refetch, Access::Anyone},
    {"DELETE", Match::Prefix, "/api/credentials/", dashboard::delete_credentials, Access::ThisMachine},
}};

const Route* find_route(std::string_view method, std::string_view path) {
    for (const Route& route : k_routes) {
        if (route.match == Match::Exact && route.method == method && route.path == path) {
            return &route;
        }
    }
    for (const Route& route : k_routes) {
        if (route.match == Match::Prefix && route.method == method && util::starts_with(path, route.path)) {
            return &route;
        }
    }
    return nullptr;
}

std::optional<std::string> header_if_present(const Request& request, const std::string& name) {
    auto it = request.headers.find(name);
    if (it == request.headers.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace

RoutingTarget split_target(std::string_view target, std::uint16_t port) {
    RoutingTarget out;
    size_t question = target.find('?');
    std::string_view path = target.substr(0, question);
    if (question != std::string_view::npos) {
        out.query = std::string(target.substr(question + 1));
    }
    std::string prefix = "/proxy/" + std::to_string(port);
    if (util::starts_with(path, prefix) && (path.size() == prefix.size() || path[prefix.size()] == '/')) {
        path.remove_prefix(prefix.size());
    }
    out.path = path.empty() ? std::string("/") : std::string(path);
    return out;
}

Reply route_request(const Request& request, const ProxySettings& proxies) {
    // A page on a rebound domain name, or another site's page, gets nothing.
    if (!host_allowed(request.header("host"), proxies)) {
        return json_reply({{"error", "host not allowed"}}, 403);
    }
    if ((request.method == "POST" || request.method == "DELETE") &&
        !origin_allowed(header_if_present(request, "origin"), request.header("host"), proxies)) {
        return json_reply({{"error", "cross-origin request refused"}}, 403);
    }
    const Route* route = find_route(request.method, request.path);
    if (route == nullptr) {
        return not_found();
    }
    if (route->access == Access::ThisMachine && !credentials_allowed(request.peer_loopback, proxies)) {
        return json_reply({{"error", "credentials are only served to this machine"}}, 403);
    }
    try {
        return route->handler(request);
    } catch (const std::exception& e) {
        return json_reply({{"error", std::string("internal error: ") + e.what()}}, 500);
    }
}

}  // namespace kestrel::serve
