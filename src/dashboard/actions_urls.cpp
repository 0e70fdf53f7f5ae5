#include "dashboard/actions_urls.hpp"

#include <cstdlib>

#include "heartbeat/heartbeat.hpp"
#include "util/text.hpp"

namespace kestrel::dashboard {

namespace {

std::string env_value(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// An empty value counts as unset: it could only build a broken address.
bool env_set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

std::string container_proxy_host(std::string_view slug) {
    return std::string(slug) + ".containers.velm.dev";
}

std::string viewer_url(std::uint16_t port) {
    const std::string p = std::to_string(port);
    if (env_set("VELM_PROXY_HOST")) {
        return "https://" + env_value("VELM_PROXY_HOST") + "/proxy/" + p + "/";
    }
    if (env_set("VELM_CONTAINER_SLUG")) {
        return "https://" + container_proxy_host(env_value("VELM_CONTAINER_SLUG")) + "/proxy/" + p + "/";
    }
    const std::string vscode = env_value("VSCODE_PROXY_URI");
    if (vscode.find("{{port}}") != std::string::npos) {
        return util::replace_all(vscode, "{{port}}", p);
    }
    return "http://127.0.0.1:" + p + "/";
}

std::string dashboard_base_url() {
    std::string url = viewer_url(heartbeat::k_dashboard_port);
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}

std::string url_encode_keep_slash(std::string_view text) {
    static constexpr char k_hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '/' || c == ':' || c == '_' || c == '~';
        if (keep) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(k_hex[c >> 4]);
            out.push_back(k_hex[c & 0x0F]);
        }
    }
    return out;
}

}  // namespace kestrel::dashboard
