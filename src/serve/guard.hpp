#pragma once
// The checks that keep the dashboard server to its legitimate callers.
//
// The server listens on every interface, hands out stored vendor passwords and
// starts processes, so it refuses: requests addressed to a foreign domain name
// (a DNS-rebinding page), state-changing requests sent by another site's page,
// credential requests from other machines, and file requests that would leave
// the chip's own folder. Everything here is a pure function of its inputs,
// apart from the two functions that read the environment or the disk.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::serve {

namespace fs = std::filesystem;

// The workspace proxies the dashboard may be reached through.
struct ProxySettings {
    std::vector<std::string> hosts;       // exact host names: $VELM_PROXY_HOST, the container proxy host
    std::optional<std::string> template_; // $VSCODE_PROXY_URI, whose host may hold {{port}}
    bool configured = false;              // one of the three proxy variables is set (non-empty)
};

// Reads $VELM_PROXY_HOST, $VELM_CONTAINER_SLUG (through `container_host`, which
// maps a slug to its proxy host name) and $VSCODE_PROXY_URI. Empty values count
// as unset.
ProxySettings proxy_settings_from_environment(std::string (*container_host)(std::string_view slug));

// Whether a request with this Host header value may be served: no Host, an IP
// literal (any port), `localhost`, or a host of the configured proxies.
bool host_allowed(std::string_view host_header, const ProxySettings& proxies);

// Whether a state-changing request with this Origin header may be served: the
// origin names the request's own host and port, or a configured proxy host. An
// absent Origin passes; "null" or a malformed one does not.
bool origin_allowed(const std::optional<std::string>& origin, std::string_view host_header,
                    const ProxySettings& proxies);

// Whether credential routes answer this peer: a loopback peer always, any peer
// when a workspace proxy is configured (the proxy then forwards every caller).
bool credentials_allowed(bool peer_loopback, const ProxySettings& proxies);

// The file `name` of chip folder `mpn` under `root`, as a canonical path, when
// it exists and lies inside the chip folder's own canonical path (a symbolic
// link leading elsewhere is refused). Nothing for an unsafe MPN or file name.
std::optional<fs::path> resolve_chip_file(const fs::path& root, std::string_view mpn, std::string_view name);

}  // namespace kestrel::serve
