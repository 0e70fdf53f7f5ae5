"""kestrel scrape open|navigate|eval|screenshot against a scripted bridge."""

import pytest

from bridge_helpers import bridge_calls, compact, heartbeat_stages

OPEN_HINT = ("HINT: page is loading. Next: `kestrel scrape eval M1 '<JS to find what you need>'` to inspect the "
             "page, or `kestrel scrape screenshot M1` to see what the user sees.")
EVAL_HINT = ("HINT: read the result above. If you found a download URL, use `kestrel skiff-pdf-fetch M1 --pdf-url "
             "<url>` for PDFs or `kestrel refetch M1 --format <fmt> --source <src>` for CAD bundles.")


def tail(stdout, n):
    return stdout.splitlines()[-n:]


@pytest.mark.parametrize("open_exit", [0, 1])
def test_open_sends_window_request_and_falls_back_to_navigate(kenv, open_exit):
    kenv.fake("velm-desktop", [{"match": ["browser_open_window"], "exit": open_exit, "stderr": "exists"}])
    url = "https://user@www.ti.com:8443/p?q=a b#cad"
    r = kenv.run("scrape", "open", "M1", url)
    assert r.returncode == 0, r.stderr
    assert tail(r.stdout, 2) == [f"OK: scrape window open at {url} (profile=kestrel)", OPEN_HINT]
    expected = [["browser_open_window", compact({"sessionId": "kestrel-scrape", "profile": "kestrel", "url": url})]]
    if open_exit:
        expected.append(["browser_navigate", compact({"sessionId": "kestrel-scrape", "url": url})])
    assert bridge_calls(kenv) == expected
    assert heartbeat_stages(kenv) == ["scrape: opening " + url]


def test_open_passes_url_as_typed_even_with_stored_credentials(kenv):
    assert kenv.run("creds", "save", "www.ti.com", "u", "p").returncode == 0
    kenv.fake("velm-desktop", [])
    assert kenv.run("scrape", "open", "M1", "https://www.ti.com/x").returncode == 0
    assert bridge_calls(kenv)[0][1] == compact(
        {"sessionId": "kestrel-scrape", "profile": "kestrel", "url": "https://www.ti.com/x"})


def test_missing_bridge_ends_each_subcommand_after_the_heartbeat(kenv):
    (kenv.bin / "velm-desktop").unlink()
    for args in (["open", "M1", "https://a.com"], ["navigate", "M1", "https://a.com"], ["eval", "M1", "1"],
                 ["screenshot", "M1"]):
        r = kenv.run("scrape", *args)
        assert r.returncode == 1, args
        assert r.stderr.startswith("Error: starting velm-desktop"), r.stderr
        assert "OK: heartbeat M1" in r.stdout
    assert len(heartbeat_stages(kenv)) == 4


def test_navigate_reports_failure_without_bridge_stderr(kenv):
    kenv.fake("velm-desktop", [{"match": ["browser_navigate"], "exit": 2, "stderr": "secret detail"}])
    r = kenv.run("scrape", "navigate", "M1", "https://a.com/x")
    assert r.returncode == 1
    assert r.stderr == "Error: browser_navigate failed\n"
    assert bridge_calls(kenv) == [["browser_navigate", compact({"sessionId": "kestrel-scrape",
                                                                 "url": "https://a.com/x"})]]


def test_navigate_stage_cut_and_override(kenv):
    kenv.fake("velm-desktop", [])
    long_url = "https://example.com/" + "é" * 30  # byte 50 falls inside an é
    r = kenv.run("scrape", "navigate", "M1", long_url)
    assert r.returncode == 0
    assert tail(r.stdout, 2) == [
        f"OK: navigated to {long_url}",
        "HINT: page loaded. Next: eval JS to find download buttons/links, or screenshot to see the page. Remember: "
        "check `kestrel next-source M1` if this source doesn't have what you need.",
    ]
    stage = 'trying mouser "quoted" \\ back\nslash ' + "x" * 200
    assert kenv.run("scrape", "navigate", "M1", "https://a.com", "--stage", stage).returncode == 0
    assert heartbeat_stages(kenv) == ["navigating " + "https://example.com/" + "é" * 15, stage]


@pytest.mark.parametrize("stdout,shown", [
    ('{"result":{"b":[1,{"y":null,"x":"é"}],"a":"s"}}',
     ['{', '  "a": "s",', '  "b": [', '    1,', '    {', '      "x": "é",', '      "y": null', '    }', '  ]', '}']),
    ('{"result":"say \\"hi\\""}', ['"say \\"hi\\""']),
    ('{"other":1}', ["null"]),
    ("", ["null"]),
    ("<html>", ["null"]),
])
def test_eval_prints_result_as_sorted_pretty_json(kenv, stdout, shown):
    kenv.fake("velm-desktop", [{"match": ["browser_eval", "kestrel-scrape"], "stdout": stdout, "exit": 3}])
    expr = 'document.querySelectorAll("a[href$=\'.pdf\']").length'
    r = kenv.run("scrape", "eval", "M1", expr)
    assert r.returncode == 0, r.stderr
    assert tail(r.stdout, len(shown) + 1) == shown + [EVAL_HINT]
    assert bridge_calls(kenv) == [["browser_eval", compact({"sessionId": "kestrel-scrape", "expr": expr})]]
    assert heartbeat_stages(kenv) == ["scrape eval: " + expr[:40] + "…"]


@pytest.mark.parametrize("stdout,path", [
    ('{"savedTo":"/tmp/shot 1.png"}', "/tmp/shot 1.png"),
    ('{"savedTo":7}', "?"),
    ("", "?"),
])
def test_screenshot_reports_saved_path(kenv, stdout, path):
    kenv.fake("velm-desktop", [{"match": ["browser_screenshot"], "stdout": stdout, "exit": 1}])
    r = kenv.run("scrape", "screenshot", "M1")
    assert r.returncode == 0
    assert tail(r.stdout, 2) == [
        f"OK: screenshot at {path}",
        "HINT: look at the screenshot to see what the user sees. If a modal or interstitial is blocking, dismiss it "
        "with `scrape eval` before proceeding.",
    ]
    assert bridge_calls(kenv) == [["browser_screenshot", compact({"sessionId": "kestrel-scrape"})]]
    assert heartbeat_stages(kenv) == ["scrape: taking screenshot"]
