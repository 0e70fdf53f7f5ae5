"""The dashboard surface: dashboard ensure, set-surface, surface and app."""

import json
import os
import socket
import subprocess
import time
import urllib.request
from pathlib import Path

import pytest

from conftest import KESTREL
from surface_support import free_port, no_stray_server, windows_listing  # noqa: F401

UP = {"match": ["/api/library"], "exit": 0}
DOWN = {"match": ["/api/library"], "exit": 7}
ALREADY = "OK: dashboard server already running on :8786"
FOCUS = ["browser_focus_window", '{"sessionId":"kestrel-dashboard"}']


def open_window(url="http://127.0.0.1:8786/"):
    return ["browser_open_window", json.dumps({"profile": "kestrel", "sessionId": "kestrel-dashboard", "url": url},
                                              separators=(",", ":"))]


def bridge_argvs(kenv):
    return [c["argv"] for c in kenv.calls("velm-desktop")]


def surface_file(kenv):
    return kenv.home / ".config" / "kestrel" / "dashboard.json"


def test_running_server_and_open_window_are_reused(kenv):
    kenv.fake("curl", [UP])
    kenv.fake("velm-desktop", [{"match": ["browser_list_windows"], "stdout": windows_listing("kestrel-dashboard")}])
    r = kenv.run("dashboard", "ensure")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [ALREADY, "OK: dashboard skiff window 'kestrel-dashboard' already open"]
    assert bridge_argvs(kenv) == [["browser_list_windows", "{}"], FOCUS]
    assert [c["argv"] for c in kenv.calls("curl")] == [["-fs", "-m", "2", "-o", "/dev/null",
                                                       "http://127.0.0.1:8786/api/library"]]


def test_force_opens_a_new_window_at_the_proxy_address(kenv):
    kenv.fake("curl", [UP])
    kenv.fake("velm-desktop", [{"match": ["browser_list_windows"], "stdout": windows_listing("kestrel-dashboard")}])
    r = kenv.run("dashboard", "ensure", "--force", VELM_PROXY_HOST="ws.example.net")
    assert r.returncode == 0, r.stderr
    url = "https://ws.example.net/proxy/8786/"
    assert r.stdout.splitlines() == [ALREADY, f"OK: opened dashboard in skiff at {url}"]
    assert bridge_argvs(kenv) == [open_window(url), FOCUS]


@pytest.mark.parametrize("bridge, error", [
    ([{"match": ["browser_open_window"], "exit": 3, "stderr": "no desktop client\n"}],
     "Error: browser_open_window failed: no desktop client"),
    (None, "Error: could not run velm-desktop: starting velm-desktop: No such file or directory"),
])
def test_a_window_that_cannot_open_fails_the_command(kenv, bridge, error):
    kenv.fake("curl", [UP])
    env = {}
    if bridge is None:
        (kenv.bin / "velm-desktop").unlink()
        env["PATH"] = str(kenv.bin)
    else:
        kenv.fake("velm-desktop", bridge)
    r = kenv.run("dashboard", "ensure", **env)
    assert r.returncode == 1
    assert r.stdout.splitlines() == [ALREADY]
    assert r.stderr.splitlines()[0] == error


@pytest.mark.parametrize("tab_exit, lines, bridge", [
    (0, [ALREADY, "OK: opened dashboard in Halyard webview tab"], []),
    (1, [ALREADY, "WARN: velm-cli workspace tab-open failed — falling back to skiff",
         "OK: opened dashboard in skiff at http://127.0.0.1:8786/"],
     [["browser_list_windows", "{}"], ["browser_rescan", "{}"], open_window(), FOCUS]),
])
def test_webview_preference_tries_the_tab_first(kenv, tab_exit, lines, bridge):
    kenv.fake("curl", [UP])
    kenv.fake("velm-cli", [{"exit": tab_exit}])
    kenv.fake("velm-desktop", [{"match": ["browser_list_windows"], "stdout": "{}"},
                               {"match": ["browser_rescan"], "stdout": '{"liveSessions":[]}'}])
    surface_file(kenv).parent.mkdir(parents=True)
    surface_file(kenv).write_text('{"surface":"HALYARD"}')
    r = kenv.run("dashboard", "ensure")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == lines
    assert [c["argv"] for c in kenv.calls("velm-cli")] == [
        ["workspace", "tab-open", "--url", "http://127.0.0.1:8786/", "--title", "kestrel"]]
    assert bridge_argvs(kenv) == bridge


def test_a_stopped_server_is_started_in_the_background(kenv, no_stray_server):
    kenv.fake("curl", [dict(DOWN, once=True), dict(DOWN, once=True), UP])
    kenv.fake("velm-desktop", [{"match": ["browser_list_windows"], "stdout": windows_listing("kestrel-dashboard")}])
    # With no umask in the way the log shows the mode it is created with.
    umask = os.umask(0)
    try:
        r = kenv.run("dashboard", "ensure")
    finally:
        os.umask(umask)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "WARN: dashboard server not running; starting it...",
        "OK: dashboard server up on http://127.0.0.1:8786/",
        "OK: dashboard skiff window 'kestrel-dashboard' already open",
    ]
    # The background server writes its start-up (or bind error) lines to the log.
    log = Path("/tmp/kestrel-dashboard.log")
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and not (log.exists() and log.stat().st_size > 0):
        time.sleep(0.1)
    assert log.stat().st_size > 0
    assert log.stat().st_mode & 0o777 == 0o666


def test_a_server_that_never_answers_fails_after_three_seconds(kenv, no_stray_server):
    kenv.fake("curl", [DOWN])
    started = time.monotonic()
    r = kenv.run("dashboard", "ensure")
    assert r.returncode == 1
    assert time.monotonic() - started >= 3.0
    assert r.stdout.splitlines() == ["WARN: dashboard server not running; starting it..."]
    assert r.stderr.splitlines()[0] == ("Error: dashboard server failed to start within 3s — see "
                                        "/tmp/kestrel-dashboard.log")
    # One probe, twenty polls and the final test.
    assert len(kenv.calls("curl")) == 22
    assert kenv.calls("velm-desktop") == []


@pytest.mark.parametrize("value, stored, title", [
    ("Halyard", "webview", "Webview"),
    ("WEBVIEW", "webview", "Webview"),
    ("skiff", "skiff", "Skiff"),
])
def test_set_surface_stores_the_choice(kenv, value, stored, title):
    r = kenv.run("dashboard", "set-surface", value)
    assert r.returncode == 0, r.stderr
    path = surface_file(kenv)
    assert r.stdout.splitlines() == [f"OK: dashboard surface set to {title} ({path})",
                                     "HINT: verify with `kestrel dashboard ensure`"]
    assert path.read_text() == f'{{\n  "surface": "{stored}"\n}}'
    shown = kenv.run("dashboard", "surface")
    assert shown.stdout.splitlines() == [f"dashboard surface: {title}",
                                         "HINT: change with `kestrel dashboard set-surface skiff|webview`"]


@pytest.mark.parametrize("value, env, error", [
    ("browser", {}, "Error: surface must be 'skiff' or 'webview'"),
    ("webview", {"HOME": None}, "Error: HOME not set"),
])
def test_set_surface_refusals(kenv, value, env, error):
    r = kenv.run("dashboard", "set-surface", value, **env)
    assert r.returncode == 1
    assert r.stdout == ""
    assert r.stderr.splitlines()[0] == error
    assert not surface_file(kenv).exists()


@pytest.mark.parametrize("content, title", [(None, "Skiff"), ("{broken", "Skiff"), ('{"surface":"Halyard"}', "Webview")])
def test_surface_reads_the_file_leniently(kenv, content, title):
    if content is not None:
        surface_file(kenv).parent.mkdir(parents=True)
        surface_file(kenv).write_text(content)
    r = kenv.run("dashboard", "surface")
    assert r.returncode == 0
    assert r.stdout.splitlines()[0] == f"dashboard surface: {title}"


@pytest.mark.parametrize("cli, error", [
    ([{"exit": 2}], ["Error: velm-cli workspace tab-open returned non-zero exit"]),
    (None, ["Error: running velm-cli workspace tab-open", "", "Caused by:"]),
])
def test_app_ends_when_the_tab_does_not_open(kenv, cli, error):
    port = free_port()
    env = {}
    if cli is None:
        env["PATH"] = str(kenv.bin)
    else:
        kenv.fake("velm-cli", cli)
    r = kenv.run("app", "--port", str(port), **env)
    assert r.returncode == 1
    assert f"opening http://127.0.0.1:{port} in Halyard webview" in r.stdout.splitlines()
    assert r.stderr.splitlines()[:len(error)] == error
    if cli is not None:
        assert [c["argv"] for c in kenv.calls("velm-cli")] == [
            ["workspace", "tab-open", "--url", f"http://127.0.0.1:{port}", "--title", "kestrel"]]


def test_app_leaves_a_taken_port_to_its_holder(kenv):
    kenv.fake("velm-cli", [{"exit": 0}])
    with socket.socket() as holder:
        holder.bind(("0.0.0.0", 0))
        holder.listen()
        port = holder.getsockname()[1]
        r = kenv.run("app", "--port", str(port), timeout=20)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines()[-1] == f"opening http://127.0.0.1:{port} in Halyard webview"


def test_app_serves_until_stopped(kenv):
    kenv.fake("velm-cli", [{"exit": 0}])
    port = free_port()
    proc = subprocess.Popen([KESTREL, "app", "--port", str(port)], env=kenv.env(), cwd=kenv.root,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        deadline = time.monotonic() + 10
        body = None
        while body is None and time.monotonic() < deadline:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{port}/api/activity", timeout=2) as reply:
                    body = reply.read()
            except OSError:
                time.sleep(0.1)
        assert body == b"{}"
        while not kenv.calls("velm-cli") and time.monotonic() < deadline:
            time.sleep(0.1)
        assert len(kenv.calls("velm-cli")) == 1
        time.sleep(0.3)
        assert proc.poll() is None  # still serving after the tab opened
    finally:
        proc.kill()
        proc.wait()
