"""`kestrel project`: the project store in ~/.config/kestrel/projects.json."""

import json
import subprocess
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

from conftest import KESTREL


def store_file(kenv):
    return kenv.home / ".config" / "kestrel" / "projects.json"


def ok(kenv, *args):
    r = kenv.run("project", *args)
    assert r.returncode == 0, r.stderr
    return r.stdout.splitlines()


def test_project_commands_print_their_lines_and_keep_the_store(kenv):
    assert ok(kenv, "create", "P", "--description", "first board") == ["OK: created project 'P'"]
    created = json.loads(store_file(kenv).read_text())["projects"]["P"]["created"]
    assert created.isdigit()
    # A second create prints the same line but changes nothing.
    assert ok(kenv, "create", "P", "--description", "other") == ["OK: created project 'P'"]
    assert ok(kenv, "add", "P", "X") == ["OK: added X to project 'P'"]
    ok(kenv, "add", "P", "X")
    ok(kenv, "add", "P", "x")
    assert ok(kenv, "add", "Q", "Y") == ["OK: added Y to project 'Q'"]  # creates Q
    q_created = json.loads(store_file(kenv).read_text())["projects"]["Q"]["created"]
    assert ok(kenv, "remove", "P", "nope") == ["OK: removed nope from project 'P'"]
    assert ok(kenv, "remove", "ghost", "X") == ["OK: removed X from project 'ghost'"]
    assert ok(kenv, "activate", "Q") == [
        "OK: active project set to 'Q'",
        "HINT: dashboard will now filter to this project's chips",
    ]
    assert ok(kenv, "list") == ["  P \u2014 2 chips", "  Q \u2014 1 chips (active)"]
    assert ok(kenv, "show", "P") == ["project: P", "  first board", "  chips (2):", "    X", "    x"]
    assert ok(kenv, "show", "Q") == ["project: Q", "  chips (1):", "    Y"]
    assert ok(kenv, "show", "nobody") == ["project 'nobody' not found"]

    assert store_file(kenv).read_text() == (
        "{\n"
        '  "projects": {\n'
        '    "P": {\n      "name": "P",\n      "mpns": [\n        "X",\n        "x"\n      ],\n'
        f'      "description": "first board",\n      "created": "{created}"\n    }},\n'
        '    "Q": {\n      "name": "Q",\n      "mpns": [\n        "Y"\n      ],\n'
        f'      "description": "",\n      "created": "{q_created}"\n    }}\n'
        "  },\n"
        '  "active": "Q"\n'
        "}"
    )

    # Deleting another project keeps the active one; deleting the active one clears it.
    assert ok(kenv, "delete", "P") == ["OK: deleted project 'P' (library chips untouched)"]
    assert json.loads(store_file(kenv).read_text())["active"] == "Q"
    ok(kenv, "delete", "Q")
    assert json.loads(store_file(kenv).read_text()) == {"projects": {}, "active": None}
    assert ok(kenv, "delete", "Q") == ["OK: deleted project 'Q' (library chips untouched)"]
    assert ok(kenv, "list") == ["no projects. create one with: kestrel project create <name>"]


def test_activate_unknown_and_deactivate(kenv):
    ok(kenv, "activate", "Z")
    assert json.loads(store_file(kenv).read_text()) == {"projects": {}, "active": "Z"}
    assert ok(kenv, "deactivate") == ["OK: active project cleared \u2014 dashboard shows full library"]
    assert json.loads(store_file(kenv).read_text())["active"] is None


def test_project_library_chips_are_never_touched(kenv):
    kenv.chip("X", {"X.pdf": b"%PDF-1.4"})
    ok(kenv, "add", "P", "X")
    ok(kenv, "delete", "P")
    assert (kenv.lib / "X" / "X.pdf").read_bytes() == b"%PDF-1.4"


@pytest.mark.parametrize(
    "content",
    [
        "{not json",
        "[]",
        '{"projects": []}',
        '{"projects": {"P": {"name": "P"}}}',           # mpns missing
        '{"projects": {"P": {"name": "P", "mpns": [1]}}}',
    ],
)
def test_malformed_store_reads_empty_and_is_replaced(kenv, content):
    store_file(kenv).parent.mkdir(parents=True)
    store_file(kenv).write_text(content)
    assert ok(kenv, "list") == ["no projects. create one with: kestrel project create <name>"]
    assert ok(kenv, "show", "P") == ["project 'P' not found"]
    assert store_file(kenv).read_text() == content  # reading never rewrites
    ok(kenv, "create", "N")
    doc = json.loads(store_file(kenv).read_text())
    assert list(doc["projects"]) == ["N"] and doc["active"] is None


def test_project_without_description_or_created_loads_with_both_empty(kenv):
    store_file(kenv).parent.mkdir(parents=True)
    store_file(kenv).write_text('{"projects": {"P": {"name": "P", "mpns": ["A"], "extra": 1}}}')
    assert ok(kenv, "show", "P") == ["project: P", "  chips (1):", "    A"]
    ok(kenv, "add", "P", "B")
    assert json.loads(store_file(kenv).read_text())["projects"]["P"] == {
        "name": "P", "mpns": ["A", "B"], "description": "", "created": ""}


def test_unwritable_config_folder_fails_the_change_but_not_the_listing(kenv):
    (kenv.home / ".config").write_text("a file where the folder should be")
    r = kenv.run("project", "create", "P")
    assert r.returncode == 1
    assert r.stdout == ""
    assert r.stderr.startswith("Error: ")
    r = kenv.run("project", "list")
    assert (r.returncode, r.stdout) == (0, "no projects. create one with: kestrel project create <name>\n")


def test_without_home_the_store_lives_under_tmp(kenv):
    fallback = Path("/tmp/.config/kestrel/projects.json")
    saved = fallback.read_bytes() if fallback.exists() else None
    try:
        if fallback.exists():
            fallback.unlink()
        assert kenv.run("project", "create", "NoHomeProject", HOME=None).returncode == 0
        assert "NoHomeProject" in json.loads(fallback.read_text())["projects"]
        assert not (kenv.home / ".config").exists()
    finally:
        if saved is None:
            fallback.unlink(missing_ok=True)
        else:
            fallback.write_bytes(saved)


def test_concurrent_adds_all_survive(kenv):
    mpns = [f"MPN{i:02d}" for i in range(16)]
    env = kenv.env()

    def add(mpn):
        return subprocess.run([KESTREL, "project", "add", "board", mpn], capture_output=True, text=True,
                              env=env, timeout=60)

    with ThreadPoolExecutor(max_workers=16) as pool:
        results = list(pool.map(add, mpns))
    assert all(r.returncode == 0 for r in results), [r.stderr for r in results]
    stored = json.loads(store_file(kenv).read_text())["projects"]["board"]["mpns"]
    assert sorted(stored) == mpns
    leftovers = [p.name for p in store_file(kenv).parent.iterdir() if p.name != "projects.json"]
    assert leftovers == []
