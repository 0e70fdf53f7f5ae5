"""kestrel heartbeat: the /tmp record, the stub record, the dashboard post, the
card scroll, the rails reminder, ledger entries and the phase-jump warning."""

import json
import os
import re
import shutil
import time
from pathlib import Path

import pytest

LAST = Path("/tmp/kestrel-last-heartbeat.json")
ACTIVITY_URL = "http://127.0.0.1:8786/api/activity"

SCROLL_HEAD = "(()=>{const m="
SCROLL_TAIL = (";const c=document.querySelector(`[data-mpn=\"${m}\"]`);if(c){c.scrollIntoView({behavior:'smooth',"
               "block:'center'});c.style.outline='3px solid #5cf';setTimeout(()=>c.style.outline='',2500);"
               "return 'card';}const b=document.querySelector('.activity-banner,.heartbeat-banner,[data-activity]');"
               "if(b){b.scrollIntoView({behavior:'smooth',block:'start'});return 'banner';}"
               "window.scrollTo({top:0,behavior:'smooth'});return 'top';})()")

UNDELIVERED = [
    f"WARN: dashboard unreachable at {ACTIVITY_URL}. Heartbeat cached locally.",
    "HINT: start the dashboard with `kestrel app` so users can see live progress",
]


def stub_hints(mpn):
    return [
        "",
        f"HINT: new stub created for {mpn}. ALWAYS start at the manufacturer's site, then walk the ladder IN ORDER "
        "(no skipping). See `kestrel sources` for the full priority list.",
        "HINT: Order: Mfr → SnapMagic → Mouser → DigiKey → Arrow → CSE/UL → LCSC. LCSC is LAST RESORT — surface "
        "'no manufacturer CAD' to user before reaching for it.",
    ]


def incomplete_card(mpn, missing):
    return [
        "",
        f"WARN: card {mpn} is INCOMPLETE — missing: {missing}",
        f"HINT: do NOT claim done on {mpn}. Walk the ladder for each missing piece. `kestrel gate` for full status.",
    ]


def jump(q, p, mpn, qn, pn):
    return (f"WARN: stage jumped {q}→{p} for {mpn} ({qn}→{pn}) — skipped intermediate stages. Did the file "
            "actually land? Did you heartbeat \"downloading\" / \"pulling\" / \"importing\"?")


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def stage_file(mpn):
    return Path(f"/tmp/kestrel-stage-{mpn}.json")


ALL_MISSING = "datasheet.pdf, STEP, KiCad .kicad_sym, KiCad .kicad_mod"


def test_new_chip_is_posted_scrolled_and_stubbed(kenv):
    kenv.fake("curl", [{"match": ["/api/activity"], "exit": 0}])
    kenv.fake("velm-desktop", [{"match": ["browser_eval"], "stdout": '{"result":"card"}'}])
    before = int(time.time())
    r = kenv.run("heartbeat", "TPS62840YBGR", "starting fetch")
    after = int(time.time())
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "OK: heartbeat TPS62840YBGR → \"starting fetch\"",
        "OK: scrolled card TPS62840YBGR into focus on dashboard",
        *stub_hints("TPS62840YBGR"),
        *incomplete_card("TPS62840YBGR", ALL_MISSING),
        "WARN: 1/1 cards in library are still incomplete (run `kestrel gate` to see all).",
    ]

    body = LAST.read_text()
    m = re.fullmatch(r'\{"mpn":"TPS62840YBGR","stage":"starting fetch","ts":(\d+)\}', body)
    assert m and before <= int(m.group(1)) <= after
    ts = int(m.group(1))
    [curl] = kenv.calls("curl")
    assert curl["argv"] == ["-fs", "-m", "2", "-X", "POST", "-H", "Content-Type: application/json", "-d", body,
                            ACTIVITY_URL]
    [bridge] = kenv.calls("velm-desktop")
    assert bridge["argv"] == ["browser_eval", compact({"expr": SCROLL_HEAD + '"TPS62840YBGR"' + SCROLL_TAIL,
                                                       "sessionId": "kestrel-dashboard"})]
    assert (kenv.lib / "TPS62840YBGR" / "info.json").read_text() == (
        '{\n  "mpn": "TPS62840YBGR",\n  "stage": "starting fetch",\n'
        f'  "started_at": {ts},\n  "state": "in_progress"\n}}')
    assert stage_file("TPS62840YBGR").read_text() == '{"phase":0,"stage":"starting fetch"}'


def test_undelivered_post_and_closed_window_still_succeed(kenv):
    # The default fakes: curl cannot connect, the bridge answers with an error.
    kenv.chip("LM358", info={"mpn": "LM358"})
    r = kenv.run("heartbeat", "LM358", "captcha solved")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "OK: heartbeat LM358 → \"captcha solved\"",
        *UNDELIVERED,
        *incomplete_card("LM358", ALL_MISSING),
        "WARN: 1/1 cards in library are still incomplete (run `kestrel gate` to see all).",
    ]
    assert json.loads((kenv.lib / "LM358" / "info.json").read_text()) == {"mpn": "LM358"}  # never stubbed over
    assert not stage_file("LM358").exists()  # a stage without a phase keeps no stage file


@pytest.mark.parametrize("stages, warning", [
    (["starting fetch", "downloading STEP"], jump(0, 3, "{mpn}", "queued", "downloading")),
    (["starting fetch", "navigating mouser search", "downloading STEP"], jump(1, 3, "{mpn}", "probing", "downloading")),
    (["starting fetch", "navigating mouser search", "found it", "downloading STEP"], None),
    (["importing", "imported"], None),
    (["imported", "starting fetch"], None),  # moving backwards never warns
    (["imported"], jump(0, 6, "{mpn}", "queued", "imported")),  # a first heartbeat above phase 1
])
def test_phase_jumps_warn_once_per_skip(kenv, stages, warning):
    mpn = "PHASE1"
    for stage in stages:
        r = kenv.run("heartbeat", mpn, stage)
        assert r.returncode == 0, r.stderr
    jumps = [ln for ln in r.stdout.splitlines() if ln.startswith("WARN: stage jumped")]
    assert jumps == ([warning.format(mpn=mpn)] if warning else [])
    phase = {"starting fetch": 0, "downloading STEP": 3, "imported": 6}[stages[-1]]
    assert stage_file(mpn).read_text() == compact({"phase": phase, "stage": stages[-1]})


@pytest.mark.parametrize("content, warns", [
    ("not json", True),                       # garbled: phase 0
    ('{"phase":-2}', True),                   # not a non-negative integer: phase 0
    ('{"phase":2.0}', True),
    ('{"phase":18446744073709551615}', False),  # huge: ahead of downloading, and no overflow
    ('{"phase":2,"stage":"found"}', False),
])
def test_stage_file_is_read_leniently(kenv, content, warns):
    stage_file("ODD1").write_text(content)
    r = kenv.run("heartbeat", "ODD1", "downloading STEP")
    assert r.returncode == 0, r.stderr
    assert any(ln.startswith("WARN: stage jumped 0→3 for ODD1") for ln in r.stdout.splitlines()) == warns
    assert stage_file("ODD1").read_text() == '{"phase":3,"stage":"downloading STEP"}'


def test_finished_attempts_go_into_the_ledger_once(kenv):
    kenv.chip("ADS1115", info={"mpn": "ADS1115", "agent_note": {"k": 1}})
    line = "OK: chain digikey → blocked recorded for ADS1115 (run `kestrel next-source ADS1115` to see what's next)"
    r = kenv.run("heartbeat", "ADS1115", "trying digikey, blocked by captcha")
    assert line in r.stdout.splitlines()
    info = json.loads((kenv.lib / "ADS1115" / "info.json").read_text())
    assert info["agent_note"] == {"k": 1}
    [entry] = info["fetched_via_chain"]
    assert (entry["source"], entry["outcome"], entry["note"]) == ("digikey", "blocked",
                                                                  "trying digikey, blocked by captcha")
    again = kenv.run("heartbeat", "ADS1115", "trying digikey, blocked by captcha")
    assert again.returncode == 0 and "OK: chain" not in again.stdout
    kenv.run("heartbeat", "ADS1115", "probing snapmagic")  # still under way: nothing recorded
    assert len(json.loads((kenv.lib / "ADS1115" / "info.json").read_text())["fetched_via_chain"]) == 1


def test_rails_reminder_counts_incomplete_cards(kenv):
    kenv.chip("DONE1", files={"DONE1.pdf": "%PDF-1.7", "DONE1.step": "x", "DONE1.kicad_sym": "x",
                              "DONE1.kicad_mod": "x"}, info={"mpn": "DONE1"})
    kenv.chip("HALF1", files={"HALF1.pdf": "%PDF-1.7", "HALF1.kicad_sym": "x"}, info={"mpn": "HALF1"})
    total = "WARN: 1/2 cards in library are still incomplete (run `kestrel gate` to see all)."
    r = kenv.run("heartbeat", "DONE1", "captcha solved")
    assert r.stdout.splitlines()[3:] == [total]
    r = kenv.run("heartbeat", "HALF1", "captcha solved")
    assert r.stdout.splitlines()[3:] == [*incomplete_card("HALF1", "STEP, KiCad .kicad_mod"), total]
    r = kenv.run("heartbeat", "half1", "captcha solved")  # the match is case-sensitive; a new stub appears
    assert r.stdout.splitlines()[3:] == [*stub_hints("half1"), *incomplete_card("half1", ALL_MISSING),
                                         "WARN: 2/3 cards in library are still incomplete (run `kestrel gate` to "
                                         "see all)."]


def test_quotes_backslashes_newlines_and_multibyte_text(kenv):
    kenv.fake("velm-desktop", [{"match": ["browser_eval"], "exit": 0}])
    mpn = 'A"B\\C µ'
    stage = 'found "it" \\ here\n→ µ'
    r = kenv.run("heartbeat", mpn, stage)
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert lines[0] == 'OK: heartbeat A"B\\C µ → "found \\"it\\" \\\\ here\\n→ µ"'
    assert f"OK: scrolled card {mpn} into focus on dashboard" in lines
    assert jump(0, 2, mpn, "queued", "found") in lines
    assert json.loads(LAST.read_text())["stage"] == stage and json.loads(LAST.read_text())["mpn"] == mpn
    assert json.loads(stage_file(mpn).read_text()) == {"phase": 2, "stage": stage}
    assert json.loads((kenv.lib / mpn / "info.json").read_text())["stage"] == stage
    # Quotes are dropped from the MPN and the rest becomes one escaped string literal.
    [call] = kenv.calls("velm-desktop")
    request = json.loads(call["argv"][1])
    assert request["expr"] == SCROLL_HEAD + '"AB\\\\C µ"' + SCROLL_TAIL


@pytest.mark.parametrize("mpn", ["", "ZZZ", "a/b", "..", "../escape"])
def test_names_that_never_get_a_stub(kenv, mpn):
    kenv.fake("curl", [{"exit": 0}])
    r = kenv.run("heartbeat", mpn, "found it")
    assert r.returncode == 0, r.stderr
    assert "new stub" not in r.stdout
    assert list(kenv.lib.iterdir()) == []
    assert not (kenv.root / "escape").exists()
    [curl] = kenv.calls("curl")
    assert json.loads(curl["argv"][8])["mpn"] == mpn  # the report is still posted
    assert json.loads(LAST.read_text())["mpn"] == mpn
    if "/" in mpn:
        assert list(Path("/tmp").glob("kestrel-stage-a*")) == []


def test_missing_curl_and_bridge(kenv):
    os.remove(kenv.bin / "curl")
    os.remove(kenv.bin / "velm-desktop")
    r = kenv.run("heartbeat", "ZZZ", "captcha solved", PATH=str(kenv.bin))
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "OK: heartbeat ZZZ → \"captcha solved\"",
        *UNDELIVERED,
        "WARN: could not scroll card ZZZ into focus: starting velm-desktop: No such file or directory",
    ]


def test_unwritable_files_are_skipped_silently(kenv):
    # Folders where the files should be make every write fail, whoever runs the test.
    blocked = [LAST, stage_file("BLOCK1")]
    for p in blocked:
        p.mkdir()
    lib_file = kenv.root / "not-a-folder"
    lib_file.write_text("x")
    try:
        r = kenv.run("heartbeat", "BLOCK1", "downloading STEP", KESTREL_LIB=str(lib_file / "lib"))
        assert r.returncode == 0, r.stderr
        assert r.stdout.splitlines() == [
            "OK: heartbeat BLOCK1 → \"downloading STEP\"",
            *UNDELIVERED,
            jump(0, 3, "BLOCK1", "queued", "downloading"),
        ]
    finally:
        for p in blocked:
            shutil.rmtree(p, ignore_errors=True)


def test_text_that_is_not_utf8_cannot_be_recorded(kenv):
    r = kenv.run("heartbeat", "X1", b"bad \xff byte")
    assert r.returncode == 1
    assert r.stderr.startswith("Error: serialising heartbeat")
    assert not LAST.exists() and kenv.calls("curl") == []
