"""The dashboard server over real HTTP: start-up, the read-only routes, the
activity slot, routing rules, limits, and staying up whatever clients do."""

import json
import socket
import subprocess
import time
from pathlib import Path

import pytest

from serve_support import Server

PAGE = (Path(__file__).resolve().parents[2] / "assets" / "dashboard" / "index.html").read_bytes()


@pytest.fixture
def server(kenv):
    srv = Server(kenv)
    yield srv
    srv.stop()


def test_prints_start_up_lines_and_refuses_a_taken_port(kenv, server):
    assert server.stdout_lines(2) == [
        f"kestrel viewer listening on http://0.0.0.0:{server.port}",
        "(open in Halyard via `kestrel app`, or visit in any browser)",
    ]
    second = kenv.run("serve", "--port", str(server.port), timeout=10)
    assert second.returncode == 1
    assert second.stderr == f"Error: bind 0.0.0.0:{server.port}: Address already in use\n"
    assert server.get("/api/activity").status == 200


def test_serves_the_page_also_through_its_proxy_prefix(server):
    for path in ["/", "/index.html", f"/proxy/{server.port}", f"/proxy/{server.port}/", "/?t=5"]:
        r = server.get(path)
        assert (r.status, r.content_type, r.body) == (200, "text/html; charset=utf-8", PAGE), path
    # Another port's prefix is not ours to strip.
    assert server.get(f"/proxy/{server.port + 1}/").status == 404


def test_library_and_chip_rows(kenv, server):
    kenv.chip("ABC", {"ABC.pdf": "%PDF-1.4", "ABC.step": "ISO-10303-21;"}, info={"manufacturer": "Acme"})
    kenv.chip("XYZ")
    r = server.get("/api/library")
    assert (r.status, r.content_type) == (200, "application/json")
    doc = json.loads(r.body)
    assert list(doc) == ["chips", "total_size", "fully_count", "stub_count"]
    assert [c["mpn"] for c in doc["chips"]] == ["ABC", "XYZ"]
    assert (doc["fully_count"], doc["stub_count"]) == (0, 2)
    assert server.get(f"/proxy/{server.port}/api/library?t=1").body == r.body

    chip = server.get("/api/chip/ABC")
    assert (chip.status, chip.content_type) == (200, "application/json")
    assert json.loads(chip.body) == doc["chips"][0]
    assert chip.body.decode() in r.body.decode()  # the same row, member order included
    for path in ["/api/chip/abc", "/api/chip/", "/api/chip/NOPE", "/api/chip/ABC/x"]:
        nf = server.get(path)
        assert (nf.status, nf.content_type, nf.text) == (404, "text/plain", "not found"), path


def test_failing_scan_is_500_on_library_and_not_found_on_chip(kenv):
    not_a_folder = kenv.root / "plain-file"
    not_a_folder.write_text("x")
    srv = Server(kenv, KESTREL_LIB=str(not_a_folder))
    try:
        r = srv.get("/api/library")
        assert r.status == 500
        assert isinstance(json.loads(r.body)["error"], str) and json.loads(r.body)["error"]
        assert srv.get("/api/chip/ABC").status == 404
    finally:
        srv.stop()


def test_projects_route_replies_the_store(kenv, server):
    assert json.loads(server.get("/api/projects").body) == {"projects": {}, "active": None}
    store = {
        "projects": {"board": {"name": "board", "mpns": ["ABC", "XYZ"], "description": "d", "created": "17"}},
        "active": "board",
    }
    cfg = kenv.home / ".config" / "kestrel"
    cfg.mkdir(parents=True, exist_ok=True)
    (cfg / "projects.json").write_text(json.dumps(store))
    r = server.get("/api/projects")
    assert (r.status, r.content_type) == (200, "application/json")
    assert json.loads(r.body) == store
    (cfg / "projects.json").write_text("{garbled")
    assert json.loads(server.get("/api/projects").body) == {"projects": {}, "active": None}


def test_activity_slot(server):
    assert server.get("/api/activity").body == b"{}"
    hb = '{"mpn":"TPS62840YBGR","stage":"downloading","ts":1700000000}'
    ok = server.post("/api/activity", hb, headers={"Content-Type": "application/json"})
    assert (ok.status, ok.content_type, ok.body) == (200, "application/json", b'{"ok":true}')
    before = int(time.time())
    got = server.get("/api/activity")
    assert got.content_type == "application/json"
    text = got.text
    assert text.startswith('{"_age_seconds":')
    doc = json.loads(text)
    assert list(doc) == ["_age_seconds", "_received_at", "mpn", "stage", "ts"]
    assert 0 <= doc["_age_seconds"] <= 2 and abs(doc["_received_at"] - before) <= 2
    assert text == json.dumps(doc, separators=(",", ":"))  # compact

    for bad in ["", "{", "mpn=x", '{"a":1}}']:
        r = server.post("/api/activity", bad)
        assert (r.status, r.body) == (400, b'{"error":"invalid json"}'), bad
    assert json.loads(server.get("/api/activity").body)["mpn"] == "TPS62840YBGR"

    assert server.post("/api/activity", "[1, 2]").status == 200
    assert server.get("/api/activity").body == b"[1, 2]"


def test_asset_route_types_files_and_refuses_traversal(kenv, server):
    files = {
        "ABC.kicad_sym": "(kicad_symbol_lib)",
        "ABC.kicad_mod": "(footprint)",
        "ABC.pdf": b"%PDF-1.7\x00\xff",
        "ABC.STEP": "ISO-10303-21;",
        "ABC.png": b"\x89PNG",
        "photo.JPG": b"\xff\xd8",
        "info.json": "{}",
        "page.html": "<p>",
        "notes": "plain",
        "ABC.zip": b"PK",
    }
    kenv.chip("ABC", files)
    expected = {
        "ABC.kicad_sym": "text/plain; charset=utf-8",
        "ABC.kicad_mod": "text/plain; charset=utf-8",
        "ABC.pdf": "application/pdf",
        "ABC.STEP": "application/STEP",
        "ABC.png": "image/png",
        "photo.JPG": "image/jpeg",
        "info.json": "application/json",
        "page.html": "text/html; charset=utf-8",
        "notes": "application/octet-stream",
        "ABC.zip": "application/octet-stream",
    }
    for name, ctype in expected.items():
        r = server.get(f"/asset/ABC/{name}?t=9")
        data = files[name] if isinstance(files[name], bytes) else files[name].encode()
        assert (r.status, r.content_type, r.body) == (200, ctype, data), name
        assert "cache-control" not in r.headers
    for path in ["/asset/ABC", "/asset/ABC/", "/asset/ABC/missing.pdf", "/asset/ABC/x/ABC.pdf", "/asset/"]:
        assert server.get(path).status == 404, path


def test_thumbnails_and_authoritative_drawing(kenv, server):
    kenv.chip("ABC", {
        "ABC-symbol.svg": "<svg>sym</svg>",
        "ABC-footprint.quarry.svg": "<svg>q</svg>",
        "ABC-3d-iso-yup-lg.png": b"\x89PNGyup",
        "ABC-3d-iso.png": b"\x89PNGiso",
        "ABC-footprint.authoritative.svg": "<svg>auth</svg>",
    })
    cases = [
        ("/thumb/ABC/symbol?t=123", "image/svg+xml", b"<svg>sym</svg>"),
        ("/thumb/ABC/footprint.quarry", "image/svg+xml", b"<svg>q</svg>"),
        ("/thumb/ABC/chip3d-yup-lg", "image/png", b"\x89PNGyup"),
        ("/thumb/ABC/chip3d", "image/png", b"\x89PNGiso"),
    ]
    for path, ctype, body in cases:
        r = server.get(path)
        assert (r.status, r.content_type, r.body) == (200, ctype, body), path
        assert r.headers.get("cache-control") == "public, max-age=60", path
    for path in ["/thumb/ABC/footprint", "/thumb/ABC/chip3d-zup", "/thumb/ABC/bogus", "/thumb/ABC",
                 "/thumb/ABC/../x", "/thumb/ABC/symbol/x"]:
        r = server.get(path)
        assert (r.status, r.text) == (404, "not found"), path
        assert "cache-control" not in r.headers

    svg = server.get("/svg/ABC")
    assert (svg.status, svg.content_type, svg.body) == (200, "image/svg+xml", b"<svg>auth</svg>")
    assert "cache-control" not in svg.headers
    for path in ["/svg/ABC/x", "/svg/..", "/svg/NOPE", "/svg/"]:
        assert server.get(path).status == 404, path


def test_unlisted_methods_and_paths_get_plain_not_found(server):
    for method, path in [("HEAD", "/"), ("HEAD", "/api/library"), ("PUT", "/api/activity"),
                         ("PATCH", "/api/activity"), ("OPTIONS", "/"), ("DELETE", "/api/activity"),
                         ("GET", "/api/open"), ("POST", "/api/library"), ("GET", "/api/libraryx"),
                         ("BREW", "/")]:
        r = server.request(method, path)
        assert (r.status, r.content_type) == (404, "text/plain"), (method, path)
        assert r.body == (b"" if method == "HEAD" else b"not found"), (method, path)


def test_limits_refuse_the_request_and_the_server_goes_on(server):
    big = server.post("/api/activity", b"{" + b" " * (2 * 1024 * 1024) + b"}")
    assert big.status == 413
    # Announced too large: refused before the body is read.
    raw = server.raw(f"POST /api/activity HTTP/1.1\r\nHost: 127.0.0.1:{server.port}\r\n"
                     f"Content-Length: 50000000\r\n\r\n{{}}".encode())
    assert raw.startswith(b"HTTP/1.1 413 ")
    # Chunked, growing past the limit while it is read.
    chunk = b"100000\r\n" + b" " * 0x100000 + b"\r\n"
    raw = server.raw(f"POST /api/activity HTTP/1.1\r\nHost: 127.0.0.1:{server.port}\r\n"
                     f"Transfer-Encoding: chunked\r\n\r\n".encode() + chunk * 2)
    assert raw.startswith(b"HTTP/1.1 413 ")
    huge_header = server.raw(f"GET /api/library HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: {'a' * 70000}\r\n\r\n".encode())
    assert huge_header.startswith(b"HTTP/1.1 431 ")
    long_line = server.raw(f"GET /{'a' * 70000} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
    assert long_line.startswith(b"HTTP/1.1 431 ")
    for garbage in [b"NONSENSE\r\n\r\n", b"GET / HTTP/9\r\n\r\n", b"GET / HTTP/1.1\r\nBad Header\r\n\r\n"]:
        assert server.raw(garbage).startswith(b"HTTP/1.1 400 "), garbage
    # A body of allowed size still goes through, and so does everything else.
    assert server.post("/api/activity", '{"pad":"' + "x" * 500000 + '"}').status == 200
    assert server.get("/api/activity").status == 200
    assert server.alive()


def test_an_idle_keep_alive_client_delays_nobody(server):
    # One client keeps its connection open after one request, another has sent
    # half a request and stalls; neither holds up a heartbeat post or a page.
    idle = socket.create_connection(("127.0.0.1", server.port))
    idle.sendall(f"GET /api/activity HTTP/1.1\r\nHost: 127.0.0.1:{server.port}\r\n\r\n".encode())
    assert idle.recv(4096).startswith(b"HTTP/1.1 200 ")
    stalled = socket.create_connection(("127.0.0.1", server.port))
    stalled.sendall(b"POST /api/activity HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n{")
    try:
        post = subprocess.run(
            ["/usr/bin/curl", "-fs", "-m", "2", "-X", "POST", "-H", "Content-Type: application/json",
             "-d", '{"mpn":"A","stage":"s","ts":1}', f"http://127.0.0.1:{server.port}/api/activity"],
            capture_output=True, text=True, timeout=10)
        assert (post.returncode, post.stdout) == (0, '{"ok":true}')
        assert server.get("/", timeout=2).status == 200
        # The kept-alive connection still works afterwards.
        idle.sendall(f"GET /api/activity HTTP/1.1\r\nHost: 127.0.0.1:{server.port}\r\n\r\n".encode())
        assert b'"mpn":"A"' in idle.recv(4096)
    finally:
        idle.close()
        stalled.close()


def test_clients_that_vanish_never_stop_the_server(kenv, server):
    kenv.chip("BIG", {"BIG.pdf": b"%PDF" + b"x" * (8 * 1024 * 1024)})
    for _ in range(3):
        s = socket.create_connection(("127.0.0.1", server.port))
        s.sendall(f"GET /asset/BIG/BIG.pdf HTTP/1.1\r\nHost: 127.0.0.1:{server.port}\r\n\r\n".encode())
        s.recv(100)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")  # reset
        s.close()
    half = socket.create_connection(("127.0.0.1", server.port))
    half.sendall(b"POST /api/activity HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 10\r\n\r\n{")
    half.close()
    time.sleep(0.2)
    assert server.alive()
    assert server.get("/api/activity").status == 200
    assert server.get("/asset/BIG/BIG.pdf").body[:4] == b"%PDF"
