"""kestrel skiff-pdf-fetch against a scripted bridge. Every run that reaches
the browser waits the fixed four seconds for the page to render."""

import base64
import json

import pytest

from bridge_helpers import bridge_calls, compact, heartbeat_stages

PDF = b"%PDF-1.7\n" + bytes(range(256)) * 8 + b"\n%%EOF\n"
FINDER = "querySelectorAll('a')"
FETCHER = "credentials:'include'"


def chain(kenv, mpn):
    """The ledger entries this command wrote (the heartbeat's own "attempted"
    entry for the opening stage is left out)."""
    info = json.loads((kenv.lib / mpn / "info.json").read_text())
    return [(e["source"], e["outcome"], e["note"]) for e in info.get("fetched_via_chain", [])
            if e["outcome"] != "attempted"]


def eval_reply(result):
    return json.dumps({"result": result})


def test_given_pdf_url_is_fetched_from_the_manufacturer_page(kenv):
    kenv.chip("TPS62840YBGR", info={"mpn": "TPS62840YBGR"})
    b64 = base64.b64encode(PDF).decode()
    wrapped = "\n".join(b64[i:i + 76] for i in range(0, len(b64), 76))
    kenv.fake("velm-desktop", [
        {"match": ["browser_eval", FETCHER], "stdout": eval_reply(wrapped)},
        {"match": ["browser_open_window"], "stdout": "{}"},
    ])
    pdf_url = 'https://www.ti.com/lit/ds/tps62840.pdf?x="1"'
    r = kenv.run("skiff-pdf-fetch", "TPS62840YBGR", "--pdf-url", pdf_url, "--source", "MFR")
    assert r.returncode == 0, r.stderr
    page = "https://www.ti.com/product/TPS62840YBGR"
    target = kenv.lib / "TPS62840YBGR" / "TPS62840YBGR.pdf"
    kb = len(PDF) // 1024
    assert r.stdout.splitlines()[-2:] == [f"OK: skiff at {page}", f"OK: wrote {target} ({kb} KB, MFR)"]
    assert target.read_bytes() == PDF
    assert chain(kenv, "TPS62840YBGR")[-1] == (
        "manufacturer", "OK", f"skiff-pdf-fetch via MFR → {pdf_url} ({kb} KB), %PDF magic verified")
    calls = bridge_calls(kenv)
    assert calls[0] == ["browser_open_window", compact(
        {"sessionId": "kestrel-pdf-grab", "profile": "kestrel", "url": page})]
    assert len(calls) == 2 and calls[1][0] == "browser_eval"
    request = json.loads(calls[1][1])
    assert list(request) == ["sessionId", "expr"] and request["sessionId"] == "kestrel-pdf-grab"
    assert 'fetch("https://www.ti.com/lit/ds/tps62840.pdf?x=\\"1\\"",{credentials:\'include\'})' in request["expr"]
    assert heartbeat_stages(kenv) == ["skiff-pdf-fetch from MFR: opening skiff"]


def test_anchor_is_found_then_http_404_records_not_pdf_and_writes_nothing(kenv):
    kenv.chip("X1", files={"X1.pdf": b"%PDF-old"})
    kenv.fake("velm-desktop", [
        {"match": ["browser_eval", FINDER], "stdout": eval_reply("https://v.example/ds/X1.pdf")},
        {"match": ["browser_eval", FETCHER], "stdout": eval_reply("http 404")},
    ])
    r = kenv.run("skiff-pdf-fetch", "X1", "--page-url", "https://v.example/p/X1", "--source", "DigiKey",
                 "--session", "grab-2")
    assert r.returncode == 1
    assert r.stdout.splitlines()[-2:] == ["OK: skiff at https://v.example/p/X1",
                                          "OK: found PDF anchor: https://v.example/ds/X1.pdf"]
    assert r.stderr == "Error: fetched bytes are not a PDF (base64 prefix: http 404)\n"
    assert chain(kenv, "X1") == [("digikey", "skiff_fetch_not_pdf", "fetch returned non-PDF bytes (b64 prefix: http 404)")]
    assert (kenv.lib / "X1" / "X1.pdf").read_bytes() == b"%PDF-old"
    assert sorted(p.name for p in (kenv.lib / "X1").iterdir()) == ["X1.pdf", "info.json"]
    evals = [json.loads(c[1]) for c in bridge_calls(kenv) if c[0] == "browser_eval"]
    assert [e["sessionId"] for e in evals] == ["grab-2", "grab-2"]
    assert 'const term="X1".toLowerCase()' in evals[0]["expr"]
    assert 'fetch("https://v.example/ds/X1.pdf"' in evals[1]["expr"]


def test_page_without_anchor_records_no_pdf_link(kenv):
    kenv.chip("Q\"1", info={})
    kenv.fake("velm-desktop", [{"match": ["browser_eval"], "stdout": eval_reply("")}])
    r = kenv.run("skiff-pdf-fetch", "Q\"1", "--page-url", "https://v.example/p")
    assert r.returncode == 1
    assert r.stderr == ('Error: could not find a PDF anchor on https://v.example/p matching Q"1; '
                        "pass --pdf-url <direct-url>\n")
    assert chain(kenv, "Q\"1") == [("manufacturer", "skiff_no_pdf_link",
                                    "page https://v.example/p had no anchor with .pdf or 'datasheet'/'文件' text "
                                    'matching Q"1')]
    evals = [json.loads(c[1]) for c in bridge_calls(kenv) if c[0] == "browser_eval"]
    assert len(evals) == 1 and 'const term="Q\\"1".toLowerCase()' in evals[0]["expr"]


def test_unknown_maker_opens_the_pdf_url_navigating_an_existing_window(kenv):
    kenv.chip("XYZ9")
    kenv.fake("velm-desktop", [
        {"match": ["browser_open_window"], "exit": 1},
        {"match": ["browser_navigate"], "exit": 1},  # not examined
        {"match": ["browser_eval"], "stdout": eval_reply(base64.b64encode(PDF).decode().rstrip("="))},
    ])
    url = "https://cdn.example:8443/x.pdf#page=2"
    r = kenv.run("skiff-pdf-fetch", "XYZ9", "--pdf-url", url)
    assert r.returncode == 0, r.stderr
    assert (kenv.lib / "XYZ9" / "XYZ9.pdf").read_bytes() == PDF
    assert bridge_calls(kenv)[:2] == [
        ["browser_open_window", compact({"sessionId": "kestrel-pdf-grab", "profile": "kestrel", "url": url})],
        ["browser_navigate", compact({"sessionId": "kestrel-pdf-grab", "url": url})],
    ]


# 69 ASCII bytes, so byte 80 falls inside the sixth é and the prefix stops at 79.
LONG = "<!doctype html><html><head><title>Access denied</title></head><body>x" + "é" * 20


@pytest.mark.parametrize("stdout,message,outcome", [
    (eval_reply("JVBERi0x!LjQK"), "base64 decode failed: invalid char at byte 8", None),
    (eval_reply(7), "fetched bytes are not a PDF (base64 prefix: )", "skiff_fetch_not_pdf"),
    (eval_reply(LONG), f"fetched bytes are not a PDF (base64 prefix: {LONG.encode()[:79].decode()})",
     "skiff_fetch_not_pdf"),
    ("<html>", None, None),
])
def test_unusable_fetch_results_write_no_file(kenv, stdout, message, outcome):
    kenv.chip("X2", info={})
    kenv.fake("velm-desktop", [{"match": ["browser_eval"], "stdout": stdout}])
    r = kenv.run("skiff-pdf-fetch", "X2", "--pdf-url", "https://v.example/x.pdf")
    assert r.returncode == 1
    if message is None:
        assert r.stderr.startswith("Error: parsing velm-desktop browser_eval stdout\n"), r.stderr
    else:
        assert r.stderr == f"Error: {message}\n"
    assert [o for _, o, _ in chain(kenv, "X2")] == ([outcome] if outcome else [])
    assert sorted(p.name for p in (kenv.lib / "X2").iterdir()) == ["info.json"]


@pytest.mark.parametrize("mpn,args,message", [
    ("NOPE1", [], None),
    ("TPS1", ["--source", "ultra librarian"], 'unknown source slug "ultra librarian"'),
    ("XYZ1", [], "no --page-url, no --pdf-url, and could not infer manufacturer for XYZ1; pass --page-url <url>"),
])
def test_checks_before_the_browser_is_touched(kenv, mpn, args, message):
    if mpn != "NOPE1":
        kenv.chip(mpn)
    r = kenv.run("skiff-pdf-fetch", mpn, *args)
    assert r.returncode == 1
    if message is None:
        message = (f"no chip directory at {kenv.lib / mpn} — heartbeat or import once first to create it")
    assert r.stderr == f"Error: {message}\n"
    assert kenv.calls("velm-desktop") == [] and kenv.calls("curl") == []
