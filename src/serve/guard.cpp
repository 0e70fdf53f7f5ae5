#include "serve/guard.hpp"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>

#include "library/chip.hpp"
#include "util/text.hpp"

namespace kestrel::serve {

namespace {

// Stands for "{{port}}" inside a proxy template while it is parsed; matches a
// run of decimal digits.
constexpr char k_port_hole = '\x01';

struct HostPort {
    std::string host;  // lower-cased, without brackets or a trailing dot
    std::string port;  // decimal digits (or holes in a template); empty when absent
    bool bracketed = false;
};

bool all_port_chars(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == k_port_hole; });
}

// Splits "host", "host:port", "[v6]" or "[v6]:port". Nothing when malformed.
std::optional<HostPort> split_host_port(std::string_view text) {
    HostPort out;
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        out.host = util::to_lower(text.substr(1, close - 1));
        out.bracketed = true;
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return std::nullopt;
            }
            out.port = std::string(rest.substr(1));
        }
    } else {
        size_t colon = text.find(':');
        if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos) {
            return std::nullopt;  // an unbracketed IPv6 literal is not a valid authority
        }
        out.host = util::to_lower(text.substr(0, colon));
        if (colon != std::string_view::npos) {
            out.port = std::string(text.substr(colon + 1));
        }
    }
    if (!all_port_chars(out.port) || out.host.empty()) {
        return std::nullopt;
    }
    if (!out.bracketed && out.host.back() == '.') {
        out.host.pop_back();  // "localhost." names the same host as "localhost"
    }
    return out;
}

bool is_ip_literal(const HostPort& hp) {
    unsigned char buffer[16];
    if (hp.bracketed) {
        return ::inet_pton(AF_INET6, hp.host.c_str(), buffer) == 1;
    }
    return ::inet_pton(AF_INET, hp.host.c_str(), buffer) == 1;
}

// The authority part of a URL or bare host text: scheme and path removed.
std::string_view authority_of(std::string_view text) {
    size_t scheme_end = text.find("://");
    if (scheme_end != std::string_view::npos) {
        text.remove_prefix(scheme_end + 3);
    }
    text = text.substr(0, text.find_first_of("/?#"));
    size_t at = text.rfind('@');
    if (at != std::string_view::npos) {
        text.remove_prefix(at + 1);
    }
    return text;
}

// The host name a proxy setting names, lower-cased; empty when it names none.
std::string proxy_host_name(std::string_view setting) {
    std::optional<HostPort> hp = split_host_port(authority_of(setting));
    return hp ? hp->host : std::string();
}

// Matches a host against a pattern in which each hole stands for one or more digits.
bool match_pattern(std::string_view pattern, std::string_view text) {
    if (pattern.empty()) {
        return text.empty();
    }
    if (pattern.front() == k_port_hole) {
        for (size_t n = 1; n <= text.size() && text[n - 1] >= '0' && text[n - 1] <= '9'; ++n) {
            if (match_pattern(pattern.substr(1), text.substr(n))) {
                return true;
            }
        }
        return false;
    }
    return !text.empty() && pattern.front() == text.front() && match_pattern(pattern.substr(1), text.substr(1));
}

bool is_proxy_host(const std::string& host, const ProxySettings& proxies) {
    for (const std::string& allowed : proxies.hosts) {
        if (!allowed.empty() && host == proxy_host_name(allowed)) {
            return true;
        }
    }
    if (proxies.template_) {
        std::string holed = *proxies.template_;
        for (size_t at = holed.find("{{port}}"); at != std::string::npos; at = holed.find("{{port}}", at + 1)) {
            holed.replace(at, 8, 1, k_port_hole);
        }
        std::string pattern = proxy_host_name(holed);
        if (!pattern.empty() && match_pattern(pattern, host)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> non_empty_env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::string default_port(std::string_view scheme) {
    if (scheme == "http") {
        return "80";
    }
    if (scheme == "https") {
        return "443";
    }
    return "";
}

bool same_port(std::string_view a, std::string_view b) {
    auto strip = [](std::string_view p) {
        while (p.size() > 1 && p.front() == '0') {
            p.remove_prefix(1);
        }
        return p;
    };
    return strip(a) == strip(b);
}

}  // namespace

ProxySettings proxy_settings_from_environment(std::string (*container_host)(std::string_view slug)) {
    ProxySettings settings;
    if (std::optional<std::string> host = non_empty_env("VELM_PROXY_HOST")) {
        settings.hosts.push_back(*host);
        settings.configured = true;
    }
    if (std::optional<std::string> slug = non_empty_env("VELM_CONTAINER_SLUG")) {
        if (container_host != nullptr) {
            settings.hosts.push_back(container_host(*slug));
        }
        settings.configured = true;
    }
    if (std::optional<std::string> uri = non_empty_env("VSCODE_PROXY_URI")) {
        settings.template_ = *uri;
        settings.configured = true;
    }
    return settings;
}

bool host_allowed(std::string_view host_header, const ProxySettings& proxies) {
    std::string text = util::trim(host_header);
    if (text.empty()) {
        return true;  // no domain named, so nothing can have been rebound
    }
    std::optional<HostPort> hp = split_host_port(text);
    if (!hp || hp->port.find(k_port_hole) != std::string::npos) {
        return false;
    }
    if (is_ip_literal(*hp)) {
        return true;
    }
    if (hp->bracketed) {
        return false;
    }
    return hp->host == "localhost" || is_proxy_host(hp->host, proxies);
}

bool origin_allowed(const std::optional<std::string>& origin, std::string_view host_header,
                    const ProxySettings& proxies) {
    if (!origin) {
        return true;
    }
    std::string_view text = *origin;
    size_t scheme_end = text.find("://");
    if (scheme_end == std::string_view::npos) {
        return false;  // "null" and other opaque origins
    }
    std::string scheme = util::to_lower(text.substr(0, scheme_end));
    std::optional<HostPort> from = split_host_port(text.substr(scheme_end + 3));
    if (!from || from->port.find(k_port_hole) != std::string::npos) {
        return false;
    }
    if (from->port.empty()) {
        from->port = default_port(scheme);
    }
    std::optional<HostPort> to = split_host_port(util::trim(host_header));
    if (to && to->port.find(k_port_hole) == std::string::npos) {
        if (to->port.empty()) {
            to->port = default_port(scheme);
        }
        if (to->host == from->host && to->bracketed == from->bracketed && same_port(to->port, from->port)) {
            return true;
        }
    }
    return !from->bracketed && is_proxy_host(from->host, proxies);
}

bool credentials_allowed(bool peer_loopback, const ProxySettings& proxies) {
    return peer_loopback || proxies.configured;
}

std::optional<fs::path> resolve_chip_file(const fs::path& root, std::string_view mpn, std::string_view name) {
    // A file name obeys the same rules as a folder name: no separators, not "." or "..".
    if (!library::is_safe_mpn(mpn) || !library::is_safe_mpn(name)) {
        return std::nullopt;
    }
    std::error_code ec;
    fs::path folder = root / std::string(mpn);
    fs::path base = fs::canonical(folder, ec);
    if (ec) {
        return std::nullopt;
    }
    fs::path file = fs::canonical(folder / std::string(name), ec);
    if (ec || !fs::is_regular_file(file, ec)) {
        return std::nullopt;  // also keeps FIFOs and devices from blocking the server
    }
    auto [in_base, in_file] = std::mismatch(base.begin(), base.end(), file.begin(), file.end());
    if (in_base != base.end() || in_file == file.end()) {
        return std::nullopt;
    }
    return file;
}

}  // namespace kestrel::serve
