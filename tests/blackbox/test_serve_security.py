"""The server's refusals over real HTTP: foreign Host names (DNS rebinding),
cross-site state changes, credentials asked from another machine, and file
requests that try to leave a chip's folder."""

import json
import os

import pytest

from serve_support import Server, lan_address

HOST_REFUSED = (403, b'{"error":"host not allowed"}')
ORIGIN_REFUSED = (403, b'{"error":"cross-origin request refused"}')
CREDS_REFUSED = (403, b'{"error":"credentials are only served to this machine"}')


@pytest.fixture
def server(kenv):
    srv = Server(kenv)
    yield srv
    srv.stop()


def test_foreign_host_names_are_refused_on_every_route(server):
    p = server.port
    for host in [f"attacker.example:{p}", "attacker.example", f"127.0.0.1.attacker.example:{p}",
                 f"localhost.attacker.example:{p}"]:
        for method, path in [("GET", "/"), ("GET", "/api/library"), ("GET", "/api/credentials"),
                             ("POST", "/api/activity")]:
            r = server.request(method, path, body="{}", headers={"Host": host})
            assert (r.status, r.body) == HOST_REFUSED, (host, method, path)
            assert r.content_type == "application/json"
    for host in [f"127.0.0.1:{p}", f"localhost:{p}", "LOCALHOST", f"192.168.1.20:{p}", "10.1.2.3:1",
                 f"[::1]:{p}"]:
        assert server.get("/api/activity", headers={"Host": host}).status == 200, host


def test_configured_proxy_hosts_are_admitted(kenv):
    srv = Server(kenv, VELM_PROXY_HOST="ws.proxy.example",
                 VSCODE_PROXY_URI="https://{{port}}-abc.code.example/")
    try:
        for host in ["ws.proxy.example", "WS.proxy.example:443", "8786-abc.code.example"]:
            assert srv.get("/api/library", headers={"Host": host}).status == 200, host
        for host in ["proxy.example", "x-abc.code.example", "attacker.example"]:
            assert (srv.get("/api/library", headers={"Host": host}).status) == 403, host
        # Behind the proxy, Host may be rewritten while the page's origin is the proxy's.
        r = srv.post("/api/activity", "{}", headers={"Origin": "https://ws.proxy.example"})
        assert r.status == 200
    finally:
        srv.stop()


def test_cross_origin_posts_and_deletes_are_refused(kenv, server):
    p = server.port
    cfg = kenv.home / ".config" / "kestrel"
    cfg.mkdir(parents=True)
    stored = [{"host": "ti", "username": "u", "password": "secret"}]
    (cfg / "credentials.json").write_text(json.dumps(stored))
    os.chmod(cfg / "credentials.json", 0o600)
    kenv.fake("kestrel")

    for origin in ["https://attacker.example", "null", f"http://localhost:{p}", f"http://127.0.0.1:{p + 1}"]:
        r = server.post("/api/activity", '{"mpn":"EVIL"}', headers={"Origin": origin})
        assert (r.status, r.body) == ORIGIN_REFUSED, origin
        assert (server.request("DELETE", "/api/credentials/ti", headers={"Origin": origin}).status,
                ) == (403,), origin
        r = server.post("/api/validate/ABC", headers={"Origin": origin})
        assert (r.status, r.body) == ORIGIN_REFUSED, origin
    assert b"EVIL" not in server.get("/api/activity").body
    assert json.loads((cfg / "credentials.json").read_text()) == stored
    assert kenv.calls("kestrel") == []

    # The page's own requests, and requests without an Origin (curl, the heartbeat), pass.
    assert server.post("/api/activity", '{"mpn":"OWN"}', headers={"Origin": f"http://127.0.0.1:{p}"}).status == 200
    assert server.post("/api/activity", '{"mpn":"CLI"}').status == 200
    # A GET is never refused for its Origin: the browser keeps the answer from a foreign page.
    assert server.get("/api/activity", headers={"Origin": "https://attacker.example"}).status == 200


def test_credentials_are_served_to_this_machine_only(kenv):
    lan = lan_address()
    if lan is None:
        pytest.skip("no non-loopback address on this machine")
    cfg = kenv.home / ".config" / "kestrel"
    cfg.mkdir(parents=True)
    stored = [{"host": "ti", "username": "u", "password": "secret"}]
    (cfg / "credentials.json").write_text(json.dumps(stored))
    os.chmod(cfg / "credentials.json", 0o600)
    srv = Server(kenv)
    try:
        host = {"Host": f"{lan}:{srv.port}"}
        remote = [
            srv.request("GET", "/api/credentials", headers=host, address=lan),
            srv.request("POST", "/api/credentials", body='{"host":"x","username":"a","password":"b"}',
                        headers=host, address=lan),
            srv.request("DELETE", "/api/credentials/ti", headers=host, address=lan),
        ]
        for r in remote:
            assert (r.status, r.body) == CREDS_REFUSED
            assert b"secret" not in r.body
        assert json.loads((cfg / "credentials.json").read_text()) == stored
        # Other routes still answer that machine (a phone on the LAN sees the page).
        assert srv.request("GET", "/api/library", headers=host, address=lan).status == 200
        # This machine gets the list.
        local = srv.get("/api/credentials")
        assert local.status == 200
        assert json.loads(local.body) == {"credentials": stored}
    finally:
        srv.stop()

    # Behind a workspace proxy every peer is the proxy, so the check stands aside.
    srv = Server(kenv, VELM_CONTAINER_SLUG="my-slug")
    try:
        r = srv.request("GET", "/api/credentials", headers={"Host": f"{lan}:{srv.port}"}, address=lan)
        assert r.status == 200
    finally:
        srv.stop()


@pytest.mark.parametrize("path", [
    "/asset/ABC/../secret.txt",
    "/asset/ABC/../../outside.txt",
    "/asset/../secret.txt",
    "/asset/ABC/%2e%2e/secret.txt",
    "/asset/ABC/%2e%2e%2fsecret.txt",
    "/asset/%2e%2e/secret.txt",
    "/asset/ABC/%252e%252e%252fsecret.txt",
    "/asset/ABC/..%2f..%2foutside.txt",
    "/asset//secret.txt",
    "/asset/./secret.txt",
    "/asset/ABC/escape",
    "/asset/ABC/up",
    "/thumb/ABC/../secret.txt",
    "/thumb/ABC/symbol.%2e%2e",
    "/thumb/%2e%2e/symbol",
    "/svg/..",
    "/svg/%2e%2e",
    "/svg/..%2fsecret",
    "/proxy/PORT/asset/ABC/../secret.txt",
])
def test_file_routes_never_leave_the_chip_folder(kenv, server, path):
    kenv.lib.joinpath("secret.txt").write_text("library-secret")
    kenv.root.joinpath("outside.txt").write_text("outside-secret")
    d = kenv.chip("ABC", {"ABC.pdf": "%PDF"})
    (d / "escape").symlink_to(kenv.root / "outside.txt")
    (d / "up").symlink_to("../secret.txt")
    r = server.get(path.replace("PORT", str(server.port)))
    assert (r.status, r.text) == (404, "not found")


def test_links_that_stay_inside_the_chip_folder_are_served(kenv, server):
    d = kenv.chip("ABC", {"ABC.pdf": "%PDF-inside", "ABC-symbol.svg": "<svg/>"})
    (d / "alias.pdf").symlink_to("ABC.pdf")
    (d / "ABC-footprint.svg").symlink_to(d / "ABC-symbol.svg")
    assert server.get("/asset/ABC/alias.pdf").body == b"%PDF-inside"
    assert server.get("/thumb/ABC/footprint").body == b"<svg/>"
