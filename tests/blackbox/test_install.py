"""`kestrel install`: deploys SKILL.md and the playbooks into ~/.claude/skills/kestrel."""

import os

import pytest

PLAYBOOKS = [
    "sourcing-ladder.md", "manufacturer-direct.md", "ultra-librarian.md", "snapmagic.md", "mouser-cse.md",
    "digikey-models.md", "credentials-and-logins.md", "velm-desktop-api.md", "handoff-and-watching.md",
]


def skill_folder(kenv):
    return kenv.home / ".claude" / "skills" / "kestrel"


def snapshot(folder):
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in sorted(folder.rglob("*")) if p.is_file()}


def test_install_prints_true_counts_and_is_repeatable(kenv):
    folder = skill_folder(kenv)
    first = kenv.run("install")
    assert first.returncode == 0, first.stderr
    skill = (folder / "SKILL.md").read_bytes()
    books = b"".join((folder / "playbooks" / name).read_bytes() for name in PLAYBOOKS)
    newline = b"\n"
    assert first.stdout.splitlines() == [
        f"OK: kestrel SKILL.md deployed to {folder / 'SKILL.md'}",
        f"    {len(skill)} bytes, {skill.count(newline)} lines",
        f"OK: 9 playbook(s) deployed to {folder / 'playbooks'}",
        f"    {len(books)} bytes, {books.count(newline)} lines across all playbooks",
        "",
        "Try `kestrel --help` to see commands.",
    ]
    files = snapshot(folder)
    assert sorted(files) == ["SKILL.md"] + [f"playbooks/{n}" for n in sorted(PLAYBOOKS)]

    second = kenv.run("install")
    assert (second.returncode, second.stdout) == (0, first.stdout)
    assert snapshot(folder) == files


def test_install_replaces_deployed_files_and_keeps_the_users_own(kenv):
    folder = skill_folder(kenv)
    (folder / "playbooks").mkdir(parents=True)
    (folder / "playbooks" / "old.md").write_text("an older playbook\n")
    (folder / "notes.txt").write_text("mine\n")
    (folder / "SKILL.md").write_text("stale\n" * 10000)  # longer than the new text
    (folder / "playbooks" / "snapmagic.md").write_text("stale\n")
    r = kenv.run("install")
    assert r.returncode == 0, r.stderr
    assert (folder / "playbooks" / "old.md").read_text() == "an older playbook\n"
    assert (folder / "notes.txt").read_text() == "mine\n"
    assert (folder / "SKILL.md").read_text().startswith("---\nname: kestrel\n")
    assert (folder / "playbooks" / "snapmagic.md").read_text().startswith("# SnapEDA / SnapMagic (kestrel playbook)\n\n")


@pytest.mark.parametrize("home", [None, "/tmp/not-utf8-\udcff"])
def test_install_without_usable_home_writes_nothing(kenv, home):
    r = kenv.run("install", HOME=home)
    assert r.returncode == 1
    assert r.stdout == ""
    assert r.stderr.startswith("Error: HOME not set")
    assert not (kenv.home / ".claude").exists()


def test_unwritable_skill_file_stops_before_any_playbook(kenv):
    folder = skill_folder(kenv)
    folder.mkdir(parents=True)
    if os.geteuid() == 0:
        # Permission bits do not stop root: a folder in the file's place does.
        (folder / "SKILL.md").mkdir()
    else:
        (folder / "SKILL.md").write_text("read-only copy\n")
        (folder / "SKILL.md").chmod(0o444)
    r = kenv.run("install")
    assert r.returncode == 1
    assert r.stdout == ""
    assert r.stderr.startswith(f"Error: writing {folder / 'SKILL.md'}")
    assert not (folder / "playbooks").exists()


def test_uncreatable_skill_folder_is_an_error(kenv):
    (kenv.home / ".claude").write_text("a file where the folder should be")
    r = kenv.run("install")
    assert r.returncode == 1
    assert r.stderr.startswith("Error: creating ")
