"""kestrel mfr-probe: manufacturer detection, the ledger entry and the scrape window."""

import json

import pytest

from bridge_helpers import bridge_calls, compact

WALK_HINT = ("HINT: walk the page (Documentation, Tools & Software, CAD icon, Resources). When you decide whether "
             "the mfr has the CAD or not, heartbeat with `kestrel heartbeat {mpn} \"manufacturer: <result>\"` so the "
             "chain auto-updates.")


def chain(kenv, mpn):
    info = kenv.lib / mpn / "info.json"
    return json.loads(info.read_text()).get("fetched_via_chain") if info.exists() else None


def test_known_prefix_prints_url_records_once_and_opens(kenv):
    kenv.fake("velm-desktop", [{"stdout": "{}"}])
    url = "https://www.st.com/en/search.html#q=stm32f103c8t6-t=products-page=1"
    for _ in range(2):
        r = kenv.run("mfr-probe", "stm32f103c8t6")
        assert r.returncode == 0
        assert r.stdout.splitlines() == [
            "OK: detected manufacturer STMicroelectronics for stm32f103c8t6",
            f"URL: {url}",
            f"OK: opened {url} in kestrel-scrape skiff session",
            WALK_HINT.format(mpn="stm32f103c8t6"),
        ]
    entries = chain(kenv, "stm32f103c8t6")
    assert [(e["source"], e["outcome"], e["note"]) for e in entries] == [
        ("manufacturer", "attempted", "auto-probe → STMicroelectronics")]
    request = compact({"sessionId": "kestrel-scrape", "profile": "kestrel", "url": url})
    assert bridge_calls(kenv) == [["browser_open_window", request]] * 2


def test_url_is_not_given_stored_credentials(kenv):
    assert kenv.run("creds", "save", "*.ti.com", "u", "p").returncode == 0
    kenv.fake("velm-desktop", [{"stdout": "{}"}])
    assert kenv.run("mfr-probe", "LM 358").returncode == 0
    assert bridge_calls(kenv) == [["browser_open_window", compact(
        {"sessionId": "kestrel-scrape", "profile": "kestrel", "url": "https://www.ti.com/product/LM%20358"})]]


def test_no_open_never_calls_the_bridge(kenv):
    r = kenv.run("mfr-probe", "B2B-XH-A", "--no-open")
    assert r.returncode == 0
    assert r.stdout.splitlines() == [
        "OK: detected manufacturer JST for B2B-XH-A",
        "URL: https://www.jst-mfg.com/product/index.php?series=199",
        WALK_HINT.format(mpn="B2B-XH-A"),
    ]
    assert kenv.calls("velm-desktop") == []


@pytest.mark.parametrize("rule", [{"exit": 1}, None])
def test_bridge_failure_gives_the_manual_open_hint(kenv, rule):
    if rule is None:
        (kenv.bin / "velm-desktop").unlink()
    else:
        kenv.fake("velm-desktop", [rule])
    r = kenv.run("mfr-probe", "SMBJ5.0A")
    assert r.returncode == 0
    assert r.stdout.splitlines()[2:] == [
        "HINT: could not auto-open via velm-desktop — open the URL above manually",
        WALK_HINT.format(mpn="SMBJ5.0A"),
    ]


def test_unknown_prefix_warns_and_records_nothing(kenv):
    r = kenv.run("mfr-probe", "XYZ123")
    assert r.returncode == 0
    assert r.stdout.splitlines() == [
        "WARN: could not infer manufacturer for XYZ123 from prefix table.",
        "HINT: identify the manufacturer manually (datasheet header, distributor product page) and open "
        "<mfr>.com directly. Then heartbeat: `kestrel heartbeat XYZ123 \"probing <vendor>.com\"` so the chain "
        "records it.",
    ]
    assert not (kenv.lib / "XYZ123").exists()
    assert kenv.calls("velm-desktop") == []


def test_unwritable_ledger_does_not_fail_the_probe(kenv):
    (kenv.lib / "TPS1" / "info.json").mkdir(parents=True)  # a record that cannot be read
    kenv.fake("velm-desktop", [{"stdout": "{}"}])
    r = kenv.run("mfr-probe", "TPS1", "--no-open")
    assert r.returncode == 0
    assert r.stdout.splitlines()[0] == "OK: detected manufacturer Texas Instruments for TPS1"
    # An MPN that cannot name a folder still gets its URL.
    r = kenv.run("mfr-probe", "TPS/../x", "--no-open")
    assert r.returncode == 0
    assert "URL: https://www.ti.com/product/TPS%2F..%2Fx" in r.stdout
