#pragma once
// The addresses the user's browser reaches local services at. Inside a hosted
// workspace the browser cannot reach 127.0.0.1 of the container, so every
// viewer and the dashboard itself are addressed through the workspace proxy
// when one is configured in the environment.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::dashboard {

// The host name the hosted-workspace proxy serves the container `slug` at.
std::string container_proxy_host(std::string_view slug);

// The address of local port `port` as the user's browser must reach it, always
// ending in '/': https://$VELM_PROXY_HOST/proxy/<port>/, else the container
// proxy of $VELM_CONTAINER_SLUG, else $VSCODE_PROXY_URI with every {{port}}
// replaced (only when it holds one), else http://127.0.0.1:<port>/. Variables
// set to the empty string count as unset.
std::string viewer_url(std::uint16_t port);

// viewer_url of the dashboard port (8786) without its trailing '/' characters.
std::string dashboard_base_url();

// Percent-encoding for URL parts that keeps A-Z a-z 0-9 - . / : _ ~ and writes
// every other byte as %XX (upper-case hexadecimal).
std::string url_encode_keep_slash(std::string_view text);

}  // namespace kestrel::dashboard
