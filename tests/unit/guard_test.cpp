#include "serve/guard.hpp"

#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "test_support.hpp"

using kestrel::serve::credentials_allowed;
using kestrel::serve::host_allowed;
using kestrel::serve::origin_allowed;
using kestrel::serve::ProxySettings;
using kestrel::serve::resolve_chip_file;
namespace fs = std::filesystem;

namespace {

ProxySettings no_proxy() { return {}; }

ProxySettings proxy_host(std::string host) {
    ProxySettings p;
    p.hosts.push_back(std::move(host));
    p.configured = true;
    return p;
}

ProxySettings proxy_template(std::string uri) {
    ProxySettings p;
    p.template_ = std::move(uri);
    p.configured = true;
    return p;
}

}  // namespace

TEST(HostGuard, AdmitsAddressesLocalhostAndConfiguredProxiesOnly) {
    struct Case {
        const char* host;
        ProxySettings proxies;
        bool allowed;
    };
    const Case cases[] = {
        {"", no_proxy(), true},                        // no Host header names no domain
        {"127.0.0.1:8786", no_proxy(), true},
        {"192.168.1.20:9000", no_proxy(), true},       // a phone on the LAN, any port
        {"10.0.0.5", no_proxy(), true},
        {"[::1]:8786", no_proxy(), true},
        {"localhost:8786", no_proxy(), true},
        {"LocalHost", no_proxy(), true},
        {"localhost.:8786", no_proxy(), true},
        {"attacker.example:8786", no_proxy(), false},  // a rebound domain
        {"127.0.0.1.attacker.example", no_proxy(), false},
        {"localhost.attacker.example", no_proxy(), false},
        {"sub.localhost", no_proxy(), false},
        {"0x7f.0.0.1", no_proxy(), false},             // not a dotted-quad literal
        {"[attacker]:80", no_proxy(), false},
        {"::1", no_proxy(), false},                    // unbracketed v6 is malformed
        {"localhost:80x", no_proxy(), false},
        {"ws.proxy.example", proxy_host("ws.proxy.example"), true},
        {"WS.Proxy.Example:443", proxy_host("ws.proxy.example"), true},
        {"ws.proxy.example", proxy_host("https://ws.proxy.example:8443/"), true},
        {"other.proxy.example", proxy_host("ws.proxy.example"), false},
        {"8786-abc.ws.example", proxy_template("https://{{port}}-abc.ws.example/"), true},
        {"x8786-abc.ws.example", proxy_template("https://{{port}}-abc.ws.example/"), false},
        {"-abc.ws.example", proxy_template("https://{{port}}-abc.ws.example/"), false},
        {"code.example:8443", proxy_template("https://code.example:8443/proxy/{{port}}/"), true},
        {"code.example", proxy_template("http://user@code.example:{{port}}/"), true},
        {"attacker.example", proxy_template("https://code.example/proxy/{{port}}/"), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(host_allowed(c.host, c.proxies), c.allowed) << c.host;
    }
}

TEST(OriginGuard, AdmitsOnlyTheRequestsOwnHostOrAProxy) {
    struct Case {
        std::optional<std::string> origin;
        const char* host;
        ProxySettings proxies;
        bool allowed;
    };
    const Case cases[] = {
        {std::nullopt, "127.0.0.1:8786", no_proxy(), true},  // not sent: not a browser's cross-site request
        {"http://127.0.0.1:8786", "127.0.0.1:8786", no_proxy(), true},
        {"http://LOCALHOST:8786", "localhost:8786", no_proxy(), true},
        {"http://[::1]:8786", "[::1]:8786", no_proxy(), true},
        {"http://192.168.1.20", "192.168.1.20:80", no_proxy(), true},   // default port spelled out
        {"https://192.168.1.20", "192.168.1.20", no_proxy(), true},
        {"http://localhost:8786", "127.0.0.1:8786", no_proxy(), false}, // another origin
        {"http://127.0.0.1:9999", "127.0.0.1:8786", no_proxy(), false}, // another port
        {"https://127.0.0.1", "127.0.0.1:80", no_proxy(), false},
        {"https://attacker.example", "127.0.0.1:8786", no_proxy(), false},
        {"null", "127.0.0.1:8786", no_proxy(), false},
        {"", "127.0.0.1:8786", no_proxy(), false},
        {"http://127.0.0.1:8786", "", no_proxy(), false},
        // A proxy may rewrite Host; the page behind it still posts from the proxy's origin.
        {"https://ws.proxy.example", "127.0.0.1:8786", proxy_host("ws.proxy.example"), true},
        {"https://8786-abc.ws.example", "127.0.0.1:8786", proxy_template("https://{{port}}-abc.ws.example/"), true},
        {"https://attacker.example", "127.0.0.1:8786", proxy_host("ws.proxy.example"), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(origin_allowed(c.origin, c.host, c.proxies), c.allowed)
            << c.origin.value_or("(absent)") << " -> " << c.host;
    }
}

TEST(CredentialGuard, LoopbackAlwaysOthersOnlyBehindAProxy) {
    EXPECT_TRUE(credentials_allowed(true, no_proxy()));
    EXPECT_FALSE(credentials_allowed(false, no_proxy()));
    EXPECT_TRUE(credentials_allowed(false, proxy_template("https://{{port}}.x/")));
}

TEST(ChipFileGuard, ServesOnlyRegularFilesInsideTheChipFolder) {
    kestrel::testing::ScopedTempDir tmp;
    const fs::path root = tmp.path() / "lib";
    fs::create_directories(root / "ABC" / "sub");
    std::ofstream(root / "ABC" / "ABC.pdf") << "%PDF";
    std::ofstream(root / "secret.txt") << "secret";
    std::ofstream(tmp.path() / "outside.txt") << "outside";
    fs::create_symlink(tmp.path() / "outside.txt", root / "ABC" / "escape");
    fs::create_symlink("../secret.txt", root / "ABC" / "up");
    fs::create_symlink("ABC.pdf", root / "ABC" / "alias.pdf");
    ASSERT_EQ(::mkfifo((root / "ABC" / "pipe").c_str(), 0600), 0);
    // A chip folder that is itself a link to a folder elsewhere serves its own files.
    fs::create_directories(tmp.path() / "elsewhere");
    std::ofstream(tmp.path() / "elsewhere" / "LNK.step") << "ISO-10303-21;";
    fs::create_directory_symlink(tmp.path() / "elsewhere", root / "LNK");

    struct Case {
        const char* mpn;
        const char* name;
        bool served;
    };
    const Case cases[] = {
        {"ABC", "ABC.pdf", true},
        {"ABC", "alias.pdf", true},     // a link that stays inside
        {"LNK", "LNK.step", true},
        {"ABC", "escape", false},       // a link to a file outside the library
        {"ABC", "up", false},           // a link to the library root
        {"ABC", "..", false},
        {"ABC", ".", false},
        {"..", "secret.txt", false},
        {"", "secret.txt", false},
        {".", "secret.txt", false},
        {"ABC", "sub", false},          // a folder
        {"ABC", "pipe", false},         // would block a reader
        {"ABC", "missing.pdf", false},
        {"ABC", "sub/../ABC.pdf", false},
        {"ABC", "%2e%2e", false},       // never decoded, so no such file
    };
    for (const Case& c : cases) {
        std::optional<fs::path> file = resolve_chip_file(root, c.mpn, c.name);
        EXPECT_EQ(file.has_value(), c.served) << c.mpn << "/" << c.name;
    }
    EXPECT_EQ(resolve_chip_file(root, "ABC", "alias.pdf"), fs::canonical(root / "ABC" / "ABC.pdf"));
}
