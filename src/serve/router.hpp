#pragma once
// The dashboard's route table and the path rules in front of it.

#include <cstdint>
#include <string>
#include <string_view>

#include "serve/guard.hpp"
#include "serve/http.hpp"

namespace kestrel::serve {

// The routing path and the query of a raw request target. The path is the
// target up to the first '?', with a leading "/proxy/<port>" (the server's own
// port) removed and an empty remainder read as "/"; nothing is percent-decoded.
struct RoutingTarget {
    std::string path;
    std::string query;
};
RoutingTarget split_target(std::string_view target, std::uint16_t port);

// Answers one request: applies the host, origin and credential-peer checks
// (403 with a JSON error), then the route table by method, exact path and
// path prefix. Anything not in the table, every HEAD, PUT, PATCH and OPTIONS
// included, gets the plain not-found reply. Never throws: a handler's
// exception becomes 500 {"error":...}.
Reply route_request(const Request& request, const ProxySettings& proxies);

}  // namespace kestrel::serve
