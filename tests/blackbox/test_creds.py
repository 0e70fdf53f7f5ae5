"""`kestrel creds`: the credential store in ~/.config/kestrel/credentials.json."""

import json
import stat

import pytest

EMPTY_LISTING = [
    "no stored credentials",
    "",
    "HINT: save creds with: kestrel creds save <host> <username> <password>",
    "HINT: hosts: snapeda, ultralib, componentsearch, ti, st, microchip, google",
]


def store_file(kenv):
    return kenv.home / ".config" / "kestrel" / "credentials.json"


def creds(kenv, *args, code=0):
    r = kenv.run("creds", *args)
    assert r.returncode == code, r.stderr
    return r.stdout.splitlines()


def test_save_replaces_by_exact_host_moves_to_end_and_lists_masked(kenv):
    assert creds(kenv, "save", "ti", "alice", "pw1") == [
        "OK: saved credential for ti (user=alice)",
        "stored at ~/.config/kestrel/credentials.json",
    ]
    creds(kenv, "save", "TI", "upper", "ab")
    creds(kenv, "save", "*.snapeda.com", "bob", "\u00e9t\u00e9\U0001F600")
    creds(kenv, "save", "ti", "carol", "hunter2")
    assert creds(kenv, "list") == [
        "stored credentials (3):",
        "  TI                   user=upper                     pass=***",
        "  *.snapeda.com        user=bob                       pass=\u00e9\u2026\U0001F600",
        "  ti                   user=carol                     pass=h\u20262",
    ]
    assert json.loads(store_file(kenv).read_text()) == [
        {"host": "TI", "username": "upper", "password": "ab"},
        {"host": "*.snapeda.com", "username": "bob", "password": "\u00e9t\u00e9\U0001F600"},
        {"host": "ti", "username": "carol", "password": "hunter2"},
    ]
    # Long values are not cut.
    creds(kenv, "save", "h" * 25, "u" * 30, "abc")
    assert creds(kenv, "list")[-1] == "  " + "h" * 25 + " user=" + "u" * 30 + " pass=a\u2026c"


def test_store_is_private_from_its_first_byte_even_over_a_644_file(kenv):
    path = store_file(kenv)
    path.parent.mkdir(parents=True)
    path.write_text("[]")
    path.chmod(0o644)
    creds(kenv, "save", "ti", "alice", "pw")
    assert stat.S_IMODE(path.stat().st_mode) == 0o600
    assert [p.name for p in path.parent.iterdir()] == ["credentials.json"]


def test_delete_reports_ok_and_rewrites_only_when_something_went(kenv):
    creds(kenv, "save", "a", "u", "p1")
    creds(kenv, "save", "b", "v", "p2")
    assert creds(kenv, "delete", "a") == ["OK: deleted credential for a"]
    assert [e["host"] for e in json.loads(store_file(kenv).read_text())] == ["b"]
    # A hand-written file stays byte for byte, mode included, when nothing matches.
    store_file(kenv).write_text('[{"host":"b","username":"v","password":"p2"}]')
    store_file(kenv).chmod(0o640)
    assert creds(kenv, "delete", "nope") == ["OK: deleted credential for nope"]
    assert store_file(kenv).read_text() == '[{"host":"b","username":"v","password":"p2"}]'
    assert stat.S_IMODE(store_file(kenv).stat().st_mode) == 0o640


@pytest.mark.parametrize("content", [None, "[]"])
def test_missing_or_empty_store_lists_the_hints(kenv, content):
    if content is not None:
        store_file(kenv).parent.mkdir(parents=True)
        store_file(kenv).write_text(content)
    assert creds(kenv, "list") == EMPTY_LISTING


@pytest.mark.parametrize(
    "content",
    [
        "{not json",
        '{"host": "a", "username": "u", "password": "p"}',
        '[{"host": "a", "username": "u"}]',                                   # member missing
        '[{"host": "a", "username": "u", "password": "p", "host": "b"}]',     # member twice
        '[{"host": "a", "username": "u", "password": null}]',
    ],
)
def test_malformed_store_lists_empty_survives_delete_and_is_replaced_by_save(kenv, content):
    path = store_file(kenv)
    path.parent.mkdir(parents=True)
    path.write_text(content)
    assert creds(kenv, "list") == EMPTY_LISTING
    assert creds(kenv, "delete", "a") == ["OK: deleted credential for a"]
    assert path.read_text() == content
    creds(kenv, "save", "n", "u", "p")
    assert json.loads(path.read_text()) == [{"host": "n", "username": "u", "password": "p"}]


@pytest.mark.parametrize("args", [["list"], ["save", "ti", "u", "p"], ["delete", "ti"]])
def test_every_command_needs_home(kenv, args):
    r = kenv.run("creds", *args, HOME=None)
    assert (r.returncode, r.stdout) == (1, "")
    assert r.stderr == "Error: HOME not set\n"


def test_unreadable_store_and_uncreatable_folder_are_errors(kenv):
    store_file(kenv).mkdir(parents=True)  # a folder cannot be read as the store
    r = kenv.run("creds", "list")
    assert r.returncode == 1 and r.stdout == ""
    assert str(store_file(kenv)) in r.stderr
    r = kenv.run("creds", "save", "ti", "u", "p")
    assert r.returncode == 1
    assert store_file(kenv).is_dir()

    home = kenv.root / "other-home"
    home.mkdir()
    (home / ".config").write_text("a file where the folder should be")
    r = kenv.run("creds", "save", "ti", "u", "p", HOME=str(home))
    assert r.returncode == 1
    assert r.stderr.startswith(f"Error: creating {home / '.config' / 'kestrel'}")
