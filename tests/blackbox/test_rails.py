"""kestrel selfcheck and kestrel hint against fake curl and bridge programs.
The exact lines at the 60/61-second boundary are checked by the unit tests
with a fixed clock; here the commands run end to end."""

import json
import os
import re
import time
from pathlib import Path

from surface_support import no_stray_server, windows_listing  # noqa: F401

LAST = Path("/tmp/kestrel-last-heartbeat.json")
UP = {"match": ["/api/library"], "exit": 0}
ALL_PASSED = ("HINT: all checks passed — continue with your fetch. Heartbeat each stage transition with "
              "`kestrel heartbeat <MPN> \"<stage>\"` before any skiff action.")


def write_heartbeat(mpn, stage, age):
    LAST.write_text(json.dumps({"mpn": mpn, "stage": stage, "ts": int(time.time()) - age}, separators=(",", ":")))


def ages_in(text, pattern):
    """The whole-second ages a line pattern with one (\\d+) group shows."""
    return [int(m.group(1)) for m in re.finditer(pattern, text)]


def test_all_rails_in_place(kenv):
    kenv.fake("curl", [UP])
    kenv.fake("velm-desktop", [{"match": ["browser_list_windows"],
                                "stdout": windows_listing("kestrel-dashboard", "kestrel")}])
    write_heartbeat("TPS62840", 'say "hi"', 10)
    r = kenv.run("selfcheck")
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert lines[3] in ('OK: heartbeat 10s old — TPS62840 → "say \\"hi\\""',
                        'OK: heartbeat 11s old — TPS62840 → "say \\"hi\\""')
    assert lines[:3] + lines[4:] == [
        "OK: dashboard server already running on :8786",
        "OK: dashboard skiff window 'kestrel-dashboard' already open",
        "OK: dashboard reachable at http://127.0.0.1:8786/",
        "OK: skiff session 'kestrel' is open",
        "",
        ALL_PASSED,
    ]
    assert [c["argv"][0] for c in kenv.calls("velm-desktop")] == [
        "browser_list_windows", "browser_focus_window", "browser_list_windows"]


def test_stale_heartbeat_and_closed_scrape_window_only_warn(kenv):
    kenv.fake("curl", [UP])
    kenv.fake("velm-desktop", [{"match": ["browser_list_windows"], "stdout": windows_listing("kestrel-dashboard")},
                               {"match": ["browser_rescan"], "stdout": '{"liveSessions":["kestrel-dashboard"]}'}])
    write_heartbeat("LM358", "downloading", 500)
    r = kenv.run("selfcheck")
    assert r.returncode == 0, r.stderr
    assert set(ages_in(r.stdout, r"heartbeat is (\d+)s old")) <= {500, 501}
    text = re.sub(r"heartbeat is 50[01]s old", "heartbeat is 500s old", r.stdout)
    assert text.splitlines()[2:] == [
        "OK: dashboard reachable at http://127.0.0.1:8786/",
        "",
        "WARN: heartbeat is 500s old (stale-after = 60s) — last was LM358 → \"downloading\"",
        "WARN: skiff session 'kestrel' is NOT open — fetches need this exact sessionId",
        "",
        "HINT: heartbeat is stale — refresh with `kestrel heartbeat LM358 \"<current stage>\"`",
        "HINT: open the skiff window before fetching: navigate to the vendor URL with "
        "`sessionId:\"kestrel\", profile:\"kestrel\"`",
    ]


def test_missing_bridge_and_heartbeat(kenv):
    kenv.fake("curl", [UP])
    os.remove(kenv.bin / "velm-desktop")
    LAST.write_text("{garbled")
    r = kenv.run("selfcheck", PATH=str(kenv.bin))
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "OK: dashboard server already running on :8786",
        "WARN: dashboard_ensure: could not run velm-desktop: starting velm-desktop: No such file or directory",
        "OK: dashboard reachable at http://127.0.0.1:8786/",
        "",
        "WARN: no heartbeat on file — the dashboard hasn't seen any activity from this session",
        "WARN: could not query velm-desktop browser_list_windows",
        "",
        "HINT: send your first heartbeat: `kestrel heartbeat <MPN> \"starting fetch\"`",
    ]


def test_dashboard_that_cannot_start_fails_the_check(kenv, no_stray_server):
    kenv.fake("curl", [{"match": ["/api/library"], "exit": 7}])
    kenv.fake("velm-desktop", [{"match": ["browser_list_windows"], "stdout": windows_listing("kestrel")}])
    write_heartbeat("LM358", "found it", 0)
    r = kenv.run("selfcheck")
    assert r.returncode == 1
    lines = r.stdout.splitlines()
    assert lines[0:2] == [
        "WARN: dashboard server not running; starting it...",
        "WARN: dashboard_ensure: dashboard server failed to start within 3s — see /tmp/kestrel-dashboard.log",
    ]
    assert lines[3:] == [
        "OK: skiff session 'kestrel' is open",
        "",
        "ERROR: dashboard NOT reachable at http://127.0.0.1:8786/",
        "",
        "HINT: start the dashboard FIRST: `kestrel app` (Halyard tab) or `kestrel serve` (HTTP only) — every other "
        "rule depends on the dashboard being up.",
    ]
    assert r.stderr.splitlines()[0] == "Error: selfcheck failed with 1 error(s)"


def test_hint_reads_what_heartbeat_wrote(kenv):
    r = kenv.run("hint")
    assert r.returncode == 0
    assert r.stdout.splitlines() == [
        "HINT: no heartbeat yet — kick off with `kestrel heartbeat <MPN> \"starting fetch\"`",
        "HINT: then `kestrel selfcheck` to verify dashboard + skiff session.",
    ]
    kenv.run("heartbeat", "TPS62840", "imported")
    r = kenv.run("hint")
    assert r.returncode == 0
    lines = r.stdout.splitlines()
    assert lines[0] in ('last heartbeat: TPS62840 → "imported" (0s ago)',
                        'last heartbeat: TPS62840 → "imported" (1s ago)')
    assert lines[1:] == ["HINT: heartbeat: `kestrel heartbeat TPS62840 imported`",
                         "HINT: dashboard view: `kestrel status TPS62840`"]


def test_hint_on_stale_and_ordinary_stages(kenv):
    write_heartbeat("LM358", "downloading STEP", 3600)
    r = kenv.run("hint")
    assert r.returncode == 0
    assert r.stdout.splitlines()[1:] == ["HINT: stale heartbeat — refresh: `kestrel heartbeat LM358 \"<current stage>\"`"]
    write_heartbeat("LM358", "downloading STEP", 0)
    r = kenv.run("hint")
    assert r.stdout.splitlines()[1:] == [
        "HINT: heartbeat the next stage transition: `kestrel heartbeat LM358 \"<next stage>\"`",
        "HINT: after import lands: `kestrel heartbeat LM358 imported` then `kestrel status LM358`",
        "HINT: if anything is off-rails: `kestrel selfcheck`",
    ]
