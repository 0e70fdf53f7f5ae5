"""Dashboard action routes over real HTTP: the background runs of `kestrel`,
reveal, orientation and the credential routes."""

import json
import os

import pytest

from actions_support import start_server_factory, wait_for


@pytest.fixture
def serve(kenv):
    start, stop_all = start_server_factory(kenv)
    yield start
    stop_all()


def kestrel_calls(kenv):
    return [c["argv"] for c in kenv.calls("kestrel")]


# ---------------------------------------------------------------- background

BACKGROUND = [
    # path, arguments kestrel gets, action, mpn in the reply
    ("/api/validate/TPS1", ["validate", "TPS1"], "validate", "TPS1"),
    ("/api/thumbnails/TPS1?t=5", ["thumbnails", "--mpn", "TPS1", "--force"], "thumbnails", "TPS1"),
    ("/api/refetch/TPS1?format=step&source=mouser",
     ["refetch", "TPS1", "--format", "step", "--source", "mouser"], "refetch", "TPS1"),
    # values verbatim, last piece wins, text after a second '?' ignored
    ("/api/refetch/X%2FY?source=a&format=b%20c&source=lcsc?source=zzz",
     ["refetch", "X%2FY", "--format", "b%20c", "--source", "lcsc"], "refetch", "X%2FY"),
    # the background routes take the MPN as it stands
    ("/api/validate/a/b", ["validate", "a/b"], "validate", "a/b"),
    # the proxy prefix is routing only
    ("/proxy/{port}/api/validate/LM358", ["validate", "LM358"], "validate", "LM358"),
]


def test_background_routes_start_kestrel_and_do_not_wait(kenv, serve):
    # The fake runs far longer than any request may take and is noisy.
    kenv.fake("kestrel", [{"sleep": 60, "stdout": "LOUD-OUT\n", "stderr": "LOUD-ERR\n"}])
    server = serve()
    for path, argv, action, mpn in BACKGROUND:
        r = server.post(path.format(port=server.port), timeout=20)
        assert r.status == 200, (path, r.text)
        assert r.content_type == "application/json"
        assert r.text == json.dumps({"ok": True, "action": action, "mpn": mpn,
                                     "hint": "polling /api/library shows new state"},
                                    separators=(",", ":")), path
        assert wait_for(lambda: argv in kestrel_calls(kenv)), (path, kestrel_calls(kenv))
        # The heartbeat of the kick went to the dashboard port.
        posted = [c["argv"] for c in kenv.calls("curl") if "http://127.0.0.1:8786/api/activity" in c["argv"]]
        assert any(json.loads(a[a.index("-d") + 1])["stage"] == f"dashboard kicked: {action}"
                   and json.loads(a[a.index("-d") + 1])["mpn"] == mpn for a in posted), path
    assert "LOUD" not in server.log()


def test_finished_background_runs_leave_no_zombies(kenv, serve):
    kenv.fake("kestrel", [{"exit": 3}])
    server = serve()
    for i in range(3):
        assert server.post(f"/api/validate/Z{i}").status == 200
    assert wait_for(lambda: len(kestrel_calls(kenv)) == 3)
    assert wait_for(lambda: not server.children()), server.children()


def test_refetch_needs_format_and_source(kenv, serve):
    kenv.fake("kestrel")
    server = serve()
    for query in ["?format=step", "?source=mouser", "", "?format=&source=mouser", "?format=step?source=mouser"]:
        r = server.post("/api/refetch/ABC" + query)
        assert (r.status, r.text) == (400, '{"error":"need ?format=X&source=Y"}'), query
    assert kestrel_calls(kenv) == []


def test_background_route_without_kestrel_on_path(kenv, serve):
    server = serve()
    r = server.post("/api/thumbnails/ABC")
    assert r.status == 500
    assert r.json()["error"].startswith("could not spawn kestrel thumbnails: ")
    assert "No such file" in r.json()["error"]


# -------------------------------------------------------------------- reveal

def test_reveal(kenv, serve):
    kenv.chip("ABC")
    kenv.fake("velm-vscode", [{"match": ["nope-fails"], "exit": 3, "stderr": "cannot reveal\n"}])
    server = serve()
    lib = str(kenv.lib)
    cases = [
        ({"mpn": ""}, 200, {"ok": True, "path": lib}),
        ({}, 200, {"ok": True, "path": lib}),
        ({"mpn": "ABC"}, 200, {"ok": True, "path": os.path.join(lib, "ABC")}),
        ({"mpn": "nope"}, 404, {"error": "no library folder for mpn nope"}),
        ({"mpn": "a/b"}, 400, {"error": "invalid mpn"}),
        ({"mpn": ".."}, 400, {"error": "invalid mpn"}),
    ]
    for body, status, reply in cases:
        r = server.post("/api/reveal", body)
        assert (r.status, r.json()) == (status, reply), body
    assert [c["argv"] for c in kenv.calls("velm-vscode")] == [
        ["reveal", lib], ["reveal", lib], ["reveal", os.path.join(lib, "ABC")]]

    r = server.post("/api/reveal", "{not json")
    assert r.status == 400 and r.json()["error"].startswith("invalid json: ")

    kenv.chip("nope-fails")
    r = server.post("/api/reveal", {"mpn": "nope-fails"})
    assert r.status == 500
    assert r.text == '{"error":"velm-vscode failed","stderr":"cannot reveal\\n"}'

    (kenv.bin / "velm-vscode").unlink()
    r = server.post("/api/reveal", {"mpn": "ABC"})
    assert r.status == 500 and r.json()["error"].startswith("velm-vscode not runnable: ")


# --------------------------------------------------------------- orientation

def test_orientation_rewrites_the_whole_record(kenv, serve):
    d = kenv.chip("ABC", info={"mpn": "ABC", "zeta": [1, 2], "alpha": {"b": "\u00b5"}, "chosen_up_axis": "x"})
    server = serve()
    r = server.post("/api/orientation", {"mpn": "ABC", "axis": "zup"})
    assert (r.status, r.text) == (200, '{"ok":true,"mpn":"ABC","axis":"zup"}')
    text = (d / "info.json").read_text()
    record = json.loads(text)
    assert record["chosen_up_axis"] == "zup"
    assert record["chosen_up_axis_at"].isdigit()
    assert record["zeta"] == [1, 2] and record["alpha"] == {"b": "\u00b5"}
    # pretty, sorted, UTF-8 kept, no trailing newline
    assert text == json.dumps(record, indent=2, sort_keys=True, ensure_ascii=False)


def test_orientation_refusals(kenv, serve):
    kenv.chip("ABC", info={"mpn": "ABC"})
    kenv.chip("NOINFO")
    kenv.chip("BROKEN", info="{not json")
    kenv.chip("LIST", info=[1, 2])
    (kenv.chip("DIR") / "info.json").mkdir()
    server = serve()
    axis_error = {"error": "axis must be 'z' or 'y'"}
    cases = [
        ({"mpn": "ABC", "axis": "up"}, 400, axis_error),
        ({"mpn": "ABC"}, 400, axis_error),
        ({"mpn": "ABC", "axis": 1}, 400, axis_error),
        ({"mpn": "ABC", "axis": "Z"}, 400, axis_error),
        ({"mpn": "a/b", "axis": "z"}, 400, {"error": "invalid mpn"}),
        ({"mpn": 5, "axis": "z"}, 400, {"error": "invalid mpn"}),
        ({"mpn": "NOINFO", "axis": "z"}, 404, {"error": "no info.json for NOINFO"}),
        ({"mpn": "GONE", "axis": "z"}, 404, {"error": "no info.json for GONE"}),
    ]
    for body, status, reply in cases:
        r = server.post("/api/orientation", body)
        assert (r.status, r.json()) == (status, reply), body
    for mpn, prefix in [("BROKEN", "parse info.json: "), ("LIST", "parse info.json: "),
                        ("DIR", "read info.json: ")]:
        r = server.post("/api/orientation", {"mpn": mpn, "axis": "y"})
        assert r.status == 500 and r.json()["error"].startswith(prefix), (mpn, r.text)
    assert (kenv.lib / "BROKEN" / "info.json").read_text() == "{not json"
    assert json.loads((kenv.lib / "ABC" / "info.json").read_text()) == {"mpn": "ABC"}


# --------------------------------------------------------------- credentials

def test_credentials_save_list_delete(kenv, serve):
    server = serve()
    assert server.request("GET", "/api/credentials").text == '{"credentials":[]}'
    for host, user, pw in [("ti", "u1", "p1"), ("my host", "m", "pm"), ("a b", "x", "y"),
                           ("st", "s", "ps"), ("ti", "u2", "p2")]:
        r = server.post("/api/credentials", {"host": host, "username": user, "password": pw})
        assert (r.status, r.text) == (200, '{"ok":true}')
    r = server.request("GET", "/api/credentials")
    assert r.text == ('{"credentials":[{"host":"my host","username":"m","password":"pm"},'
                      '{"host":"a b","username":"x","password":"y"},'
                      '{"host":"st","username":"s","password":"ps"},'
                      '{"host":"ti","username":"u2","password":"p2"}]}')
    for path, removed in [("/api/credentials/my%20host", True), ("/api/credentials/a+b", True),
                          ("/api/credentials/nope", False), ("/api/credentials/TI", False)]:
        r = server.request("DELETE", path)
        assert (r.status, r.text) == (200, '{"ok":true,"removed":%s}' % ("true" if removed else "false")), path
    assert [c["host"] for c in server.request("GET", "/api/credentials").json()["credentials"]] == ["st", "ti"]


def test_credentials_bad_input_and_store_errors(kenv, serve):
    server = serve()
    required = {"error": "host, username, password all required"}
    for body in [{}, {"host": "ti", "username": "u"}, {"host": "ti", "username": "u", "password": ""},
                 {"host": "ti", "username": 1, "password": "p"}, ["ti", "u", "p"]]:
        r = server.post("/api/credentials", body)
        assert (r.status, r.json()) == (400, required), body
    r = server.post("/api/credentials", "{")
    assert r.status == 400 and r.json()["error"].startswith("invalid json: ")
    assert server.request("GET", "/api/credentials").text == '{"credentials":[]}'

    homeless = serve(HOME=None)
    for method, path, body in [("GET", "/api/credentials", None),
                               ("POST", "/api/credentials", {"host": "a", "username": "b", "password": "c"}),
                               ("DELETE", "/api/credentials/a", None)]:
        r = homeless.request(method, path, body)
        assert (r.status, r.json()) == (500, {"error": "HOME not set"}), path
