"""kestrel login: the sign-in catalog and opening its pages."""

import pytest

from bridge_helpers import bridge_calls, compact

CATALOG = [
    ("google", "https://accounts.google.com/signin"),
    ("ti", "https://www.ti.com/securemyprofile/login"),
    ("st", "https://my.st.com/cas/login"),
    ("microchip", "https://www.microchip.com/en-us/my-account-sign-in"),
    ("ultralib", "https://app.ultralibrarian.com/account/login"),
    ("snapeda", "https://www.snapeda.com/account/login"),
    ("componentsearch", "https://componentsearchengine.com/account/login"),
]
PAGES = dict(CATALOG)


def window(url):
    return ["browser_open_window", compact({"sessionId": "kestrel", "profile": "kestrel", "url": url})]


def tab(url):
    return ["browser_open_tab", compact({"sessionId": "kestrel", "url": url})]


def test_list_prints_catalog_and_opens_nothing(kenv):
    r = kenv.run("login", "list")
    assert r.returncode == 0
    lines = r.stdout.splitlines()
    assert len(lines) == 15
    assert lines[:3] == [
        "known sources:",
        "  google              Google account (covers all Sign-in-with-Google flows)",
        "                      https://accounts.google.com/signin",
    ]
    assert lines[13:] == [
        "  componentsearch     Component Search Engine (samacsys)",
        "                      https://componentsearchengine.com/account/login",
    ]
    assert [l.split()[0] for l in lines[1::2]] == [slug for slug, _ in CATALOG]
    assert [l.strip() for l in lines[2::2]] == [url for _, url in CATALOG]
    assert kenv.calls("velm-desktop") == []


@pytest.mark.parametrize("word,slug", [
    ("ti", "ti"), ("ultralib", "ultralib"), ("ultralibrarian", "ultralib"), ("snapmagic", "snapeda"),
    ("snapeda", "snapeda"), ("samacsys", "componentsearch"), ("componentsearch", "componentsearch"),
])
def test_one_source_opens_its_page_in_the_kestrel_window(kenv, word, slug):
    kenv.fake("velm-desktop", [{"stdout": "{}"}])
    r = kenv.run("login", word)
    assert r.returncode == 0, r.stderr
    url = PAGES[slug]
    assert r.stdout.splitlines() == [
        f"opening {url} for login — cookies will persist in profile 'kestrel'",
        'HINT: after sign-in, heartbeat: `kestrel heartbeat <MPN> "logged in to <source>"`',
        "HINT: verify rails: `kestrel selfcheck`",
    ]
    assert bridge_calls(kenv) == [window(url)]


@pytest.mark.parametrize("word", ["TI", "Google", "", "all ", "ultra librarian"])
def test_unknown_word_fails_before_opening_anything(kenv, word):
    r = kenv.run("login", word)
    assert r.returncode == 1
    assert r.stdout == ""
    assert r.stderr == (f"Error: unknown source '{word}' — run `kestrel login list` to see available sources, "
                        "or `kestrel login all` to open every source\n")
    assert kenv.calls("velm-desktop") == []


def test_all_opens_tab_then_window_for_every_source(kenv):
    # Tabs failing is never reported.
    kenv.fake("velm-desktop", [{"match": ["browser_open_tab"], "exit": 1, "stderr": "no tab"}, {"stdout": "{}"}])
    r = kenv.run("login", "all")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == (
        ["opening login pages for all sources as tabs in profile 'kestrel'"]
        + [f"  → {slug}: {url}" for slug, url in CATALOG]
        + ["", "log in to each, then 'Stay signed in' / Smart Lock will keep cookies for ~30 days."])
    expected = []
    for _, url in CATALOG:
        expected += [tab(url), window(url)]
    assert bridge_calls(kenv) == expected


def test_all_stops_at_the_first_window_that_fails(kenv):
    kenv.fake("velm-desktop", [
        {"match": ["browser_open_window", "my.st.com"], "exit": 4, "stderr": "window refused\n"},
        {"stdout": "{}"},
    ])
    r = kenv.run("login", "all")
    assert r.returncode == 1
    assert r.stdout.splitlines() == [
        "opening login pages for all sources as tabs in profile 'kestrel'",
        f"  → google: {PAGES['google']}",
        f"  → ti: {PAGES['ti']}",
        f"  → st: {PAGES['st']}",
    ]
    assert r.stderr == "Error: velm-desktop browser_open_window failed: window refused\n"
    assert bridge_calls(kenv) == [tab(PAGES["google"]), window(PAGES["google"]), tab(PAGES["ti"]),
                                  window(PAGES["ti"]), tab(PAGES["st"]), window(PAGES["st"])]
