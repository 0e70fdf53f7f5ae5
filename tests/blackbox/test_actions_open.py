"""POST /api/open over real HTTP: every kind, the viewer readiness probe, the
uploads through the scratch file, the fallbacks and the refusals."""

import json
import re

import pytest

from actions_support import fake_curl, start_server_factory, wait_for

MPN = "U 1"  # a blank shows where the MPN is percent-encoded and where it is not
STEP = b"ISO-10303-21;\nHEADER;\x00\xff binary tail\n"
SYM = "(kicad_symbol_lib (version 20211014))\n"
MOD = "(footprint \"U 1\" (layer F.Cu))\n"

PORTS = {"chip3d": 8857, "symbol": 8781, "footprint": 8783, "lbr": 8784, "datasheet": 8985}
LAUNCH = {  # viewer program and its arguments once started
    "symbol": ("velm-symbol", ["serve", "--port", "8781"]),
    "footprint": ("velm-footprint", ["serve", "--port", "8783"]),
    "lbr": ("velm-lbr", ["serve", "--port", "8784"]),
    "datasheet": ("node", ["/home/velm/project/velm-pdf-viewer/server.mjs", "--port", "8985"]),
}


@pytest.fixture
def serve(kenv):
    start, stop_all = start_server_factory(kenv)
    yield start
    stop_all()


@pytest.fixture
def chip(kenv):
    d = kenv.chip(MPN, {f"{MPN}.step": STEP, f"{MPN}.kicad_sym": SYM, f"{MPN}.kicad_mod": MOD,
                        f"{MPN}.pdf": "%PDF-1.4\n", f"{MPN}-3d-iso-yup-lg.png": b"\x89PNG"})
    # the generator writes the .lbr it is asked for
    kenv.fake("velm-lbr", [{"match": ["generate"], "write_file": [str(d / f"{MPN}.lbr"), "<eagle/>"]}])
    for name, _ in LAUNCH.values():
        if name != "velm-lbr":
            kenv.fake(name)
    kenv.fake("velm-step")
    return d


def probes(kenv, port):
    return [c for c in kenv.calls("curl") if c["argv"] == ["-fs", "-m", "1", "-o", "/dev/null",
                                                           f"http://127.0.0.1:{port}/"]]


def loads(kenv):
    return [c for c in kenv.calls("curl") if "--data-binary" in c["argv"]]


def viewer_link(port, url):
    return re.fullmatch(rf"http://127\.0\.0\.1:{port}/\?reload=\d+&title=U%201", url)


def test_loads_into_a_running_viewer(kenv, serve, chip):
    fake_curl(kenv, [])  # every probe and load succeeds
    server = serve()
    scratch = str(kenv.tmp / f"kestrel-load-{server.proc.pid}.bin")
    d = str(chip)
    # kind, curl time limit, header, load address, uploaded bytes
    cases = [
        ("symbol", "90", "Content-Type: application/json", "http://127.0.0.1:8781/load",
         json.dumps({"dir": d, "mpn": MPN, "source": "snapmagic"}, separators=(",", ":"))),
        ("footprint", "70", "Content-Type: application/json", "http://127.0.0.1:8783/load",
         json.dumps({"footprintName": MPN, "kicadMod": MOD}, separators=(",", ":"))),
        ("lbr", "30", "Content-Type: application/json", "http://127.0.0.1:8784/load", '{"lbr":"<eagle/>"}'),
        ("chip3d", "60", "X-Filename: U 1.step", "http://127.0.0.1:8857/api/load", STEP.decode("latin-1")),
    ]
    for kind, seconds, header, url, uploaded in cases:
        before = len(loads(kenv))
        r = server.post("/api/open", {"mpn": MPN, "kind": kind, "source": "snapmagic"})
        assert r.status == 200, (kind, r.text)
        assert list(r.json()) == ["ok", "url", "desktopBridge"]
        assert r.json()["ok"] is True and r.json()["desktopBridge"] is False
        assert viewer_link(PORTS[kind], r.json()["url"]), r.json()["url"]
        new = loads(kenv)[before:]
        assert len(new) == 1, kind
        assert new[0]["argv"] == ["-fs", "-m", seconds, "-X", "POST", "-H", header, "--data-binary",
                                  "@" + scratch, url]
        assert new[0]["uploads"][0]["latin1"] == uploaded, kind
    # the scratch file is gone after each upload; no viewer needed starting
    assert not (kenv.tmp / f"kestrel-load-{server.proc.pid}.bin").exists()
    assert all(not kenv.calls(name) for name in ("velm-symbol", "velm-footprint", "velm-step", "node"))
    assert [c["argv"] for c in kenv.calls("velm-lbr")] == [
        ["generate", "--sym", f"{d}/{MPN}.kicad_sym", "--fp", f"{d}/{MPN}.kicad_mod", "--name", MPN,
         "--output", f"{d}/{MPN}.lbr"]]


def test_silent_viewer_is_started_and_waited_for(kenv, serve, chip):
    server = serve()
    for kind in ["symbol", "footprint", "lbr", "datasheet", "chip3d"]:
        port = PORTS[kind]
        # the first probe finds nothing; the viewer answers the third one
        fake_curl(kenv, [{"match": [f":{port}/", "/dev/null"], "exit": 7, "once": True},
                         {"match": [f":{port}/", "/dev/null"], "exit": 7, "once": True}])
        (kenv.bin / "calls.jsonl").unlink(missing_ok=True)
        r = server.post("/api/open", {"mpn": MPN, "kind": kind})
        assert r.status == 200, (kind, r.text)
        assert len(probes(kenv, port)) == 3, kind
        if kind == "chip3d":
            name, args = "velm-step", ["view", f"{chip}/{MPN}.step", "--no-open", "--port", "8857"]
        else:
            name, args = LAUNCH[kind]
        started = lambda: [c["argv"] for c in kenv.calls(name) if "generate" not in c["argv"]]
        assert wait_for(lambda: started() == [args]), (kind, started())


def test_dead_viewer_falls_back_to_a_link(kenv, serve, chip):
    fake_curl(kenv, [{"match": ["/dev/null"], "exit": 7}, {"match": ["load"], "exit": 22}])
    server = serve()
    base = "http://127.0.0.1:8786"
    # the 3D viewer starts but never answers: every probe is made, then the load fails
    r = server.post("/api/open", {"mpn": MPN, "kind": "chip3d"})
    assert r.json() == {"ok": True, "url": f"{base}/asset/{MPN}/{MPN}.step", "desktopBridge": False}
    assert len(probes(kenv, 8857)) == 31
    assert wait_for(lambda: len(kenv.calls("velm-step")) == 1)
    # the other viewers cannot be started at all
    for name in ["velm-symbol", "velm-footprint", "velm-lbr"]:
        (kenv.bin / name).unlink()
    for kind, url in [("symbol", f"{base}/thumb/{MPN}/symbol"), ("footprint", f"{base}/thumb/{MPN}/footprint")]:
        r = server.post("/api/open", {"mpn": MPN, "kind": kind})
        assert (r.status, r.json()) == (200, {"ok": True, "url": url, "desktopBridge": False}), kind
    # the .lbr has no fallback: a missing generator is a failure
    r = server.post("/api/open", {"mpn": MPN, "kind": "lbr"})
    assert (r.status, r.json()) == (500, {"error": f"could not build .lbr for {MPN}"})
    log = server.log()
    for line in [f"WARN: velm-step /api/load failed for {MPN}; falling back to asset URL",
                 f"WARN: velm-symbol /load (dir) failed for {MPN}; falling back to raw SVG",
                 f"WARN: velm-footprint /load failed for {MPN}; falling back to raw SVG",
                 f"WARN: velm-lbr generate/load failed for {MPN}"]:
        assert line in log.splitlines(), line


def test_lbr_generation_and_load_failures(kenv, serve):
    d = kenv.chip("S1", {"S1.kicad_sym": SYM})
    fake_curl(kenv, [{"match": ["8784/load"], "exit": 22}])
    server = serve()
    # a generator that writes nothing
    kenv.fake("velm-lbr", [{"match": ["generate"], "exit": 0}])
    r = server.post("/api/open", {"mpn": "S1", "kind": "lbr"})
    assert (r.status, r.json()) == (500, {"error": "could not build .lbr for S1"})
    # symbol only: no footprint pair; the file is made but the viewer refuses it
    kenv.fake("velm-lbr", [{"match": ["generate"], "write_file": [str(d / "S1.lbr"), "<eagle/>"]}])
    r = server.post("/api/open", {"mpn": "S1", "kind": "lbr"})
    assert (r.status, r.json()) == (500, {"error": "could not build .lbr for S1"})
    assert [c["argv"] for c in kenv.calls("velm-lbr") if c["argv"][0] == "generate"][-1] == [
        "generate", "--sym", f"{d}/S1.kicad_sym", "--name", "S1", "--output", f"{d}/S1.lbr"]


def test_links_follow_the_workspace_proxy_and_bridge_presence(kenv, serve, chip):
    fake_curl(kenv, [])
    kenv.fake("velm-desktop", [{"match": ["status"], "stdout": '{"clients":1}'}])
    server = serve(VELM_PROXY_HOST="ws.example")
    r = server.post("/api/open", {"mpn": MPN, "kind": "datasheet"})
    assert r.json() == {"ok": True, "desktopBridge": True,
                        "url": "https://ws.example/proxy/8985/v?src=https://ws.example/proxy/8786/asset/"
                               "U%201/U%201.pdf&title=U%201%20datasheet"}
    r = server.post("/api/open", {"mpn": MPN, "kind": "chip3d-yup"})
    assert r.json() == {"ok": True, "desktopBridge": True,
                        "url": f"https://ws.example/proxy/8786/thumb/{MPN}/chip3d-yup-lg"}
    r = server.post("/api/open", {"mpn": MPN, "kind": "symbol"})
    assert re.fullmatch(r"https://ws\.example/proxy/8781/\?reload=\d+&title=U%201", r.json()["url"])


def test_brindle_starts_the_part_viewer(kenv, serve, chip):
    kenv.fake("velm-brindle", [{"sleep": 30}])
    server = serve()
    r = server.post("/api/open", {"mpn": MPN, "kind": "brindle"}, timeout=15)
    assert (r.status, r.text) == (200, '{"ok":true,"tool":"brindle"}')
    assert wait_for(lambda: kenv.calls("velm-brindle"))
    assert [c["argv"] for c in kenv.calls("velm-brindle")] == [["view-library", str(chip)]]
    (kenv.bin / "velm-brindle").unlink()
    r = server.post("/api/open", {"mpn": MPN, "kind": "brindle"})
    assert r.status == 500 and r.json()["error"].startswith("velm-brindle unavailable: ")


def test_refusals(kenv, serve):
    kenv.chip("EMPTY")
    kenv.fake("velm-lbr")
    fake_curl(kenv, [])
    server = serve()
    want = "(want chip3d|symbol|footprint|lbr|datasheet)"
    cases = [
        ({"mpn": "a/b", "kind": "symbol"}, 400, "invalid mpn"),
        ({"mpn": "..", "kind": "symbol"}, 400, "invalid mpn"),
        ({"mpn": "", "kind": "symbol"}, 400, "invalid mpn"),
        ({"mpn": ".", "kind": "symbol"}, 400, "invalid mpn"),
        ({"mpn": ["EMPTY"], "kind": "symbol"}, 400, "invalid mpn"),
        ({"kind": "symbol"}, 400, "invalid mpn"),
        ({"mpn": "GONE", "kind": "symbol"}, 404, "no library/GONE/"),
        ({"mpn": "EMPTY", "kind": "schematic"}, 400, f"unknown kind schematic {want}"),
        ({"mpn": "EMPTY"}, 400, f"unknown kind  {want}"),
        ({"mpn": "EMPTY", "kind": 3}, 400, f"unknown kind  {want}"),
        ({"mpn": "EMPTY", "kind": "chip3d"}, 404, "no EMPTY.step"),
        ({"mpn": "EMPTY", "kind": "symbol"}, 404, "no EMPTY.kicad_sym"),
        ({"mpn": "EMPTY", "kind": "footprint"}, 404, "no EMPTY.kicad_mod"),
        ({"mpn": "EMPTY", "kind": "datasheet"}, 404, "no EMPTY.pdf"),
        ({"mpn": "EMPTY", "kind": "lbr"}, 404, "no EMPTY.kicad_sym or .kicad_mod to build an .lbr"),
        ({"mpn": "EMPTY", "kind": "chip3d-yup"}, 404, "no EMPTY-3d-iso-yup-lg.png \u2014 run `pictor scan`"),
    ]
    for body, status, error in cases:
        r = server.post("/api/open", body)
        assert (r.status, r.json()) == (status, {"error": error}), body
    for text in ["", "{", "[1,", "kind=symbol"]:
        r = server.post("/api/open", text)
        assert r.status == 400 and r.json()["error"].startswith("invalid json: "), text
    # nothing was probed, generated or uploaded for a refused request
    assert kenv.calls("curl") == [] and kenv.calls("velm-lbr") == []
