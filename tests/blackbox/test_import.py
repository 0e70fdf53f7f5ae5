"""kestrel import: content checks, archives, the fetch log, provenance and the
command's lines."""

import json
import re
import zipfile
from pathlib import Path

PDF = b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n"
STEP = b"ISO-10303-21;\nHEADER;\n"
SYM = b"(kicad_symbol_lib (version 20211014) (generator kicad)\n"
MOD = b"(footprint \"QFN-8\" (version 20221018)\n"
HTML = b"<!DOCTYPE html><html><head><title>Access denied</title>"

IMPORTED_HINTS = [
    "HINT: heartbeat: `kestrel heartbeat {mpn} imported`",
    "HINT: dashboard view: `kestrel status {mpn}`",
]


def make_zip(path, members):
    """Writes a zip of `members`: (name, bytes) pairs, or ("link", name, target)
    for a stored symbolic link."""
    path.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(path, "w") as z:
        for m in members:
            if m[0] == "link":
                info = zipfile.ZipInfo(m[1])
                info.create_system = 3
                info.external_attr = 0o120777 << 16
                z.writestr(info, m[2])
            else:
                z.writestr(m[0], m[1])
    return path


def leftover_unpack_dirs(kenv):
    return sorted(p.name for p in kenv.tmp.glob("kestrel-*"))


def fetch_log(kenv, mpn):
    return json.loads((kenv.lib / mpn / f"{mpn}-fetch-log.json").read_text())


def test_archive_with_model_kicad_pair_and_readme_stores_three_files(kenv):
    archive = make_zip(kenv.home / "Downloads" / "ul_TPS62840YBGR.zip", [
        ("TPS62840YBGR.step", STEP),
        ("KiCad/TPS62840YBGR.kicad_sym", SYM),
        ("KiCad/TPS62840YBGR.kicad_mod", MOD),
        ("readme.txt", b"hello"),
    ])
    r = kenv.run("import", str(archive), "--no-validate")
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    chip = kenv.lib / "TPS62840YBGR"
    assert lines[0] == f"imported into {chip}"
    assert sorted(lines[1:4]) == ["  + TPS62840YBGR.kicad_mod", "  + TPS62840YBGR.kicad_sym",
                                  "  + TPS62840YBGR.step"]
    assert lines[4:] == [h.format(mpn="TPS62840YBGR") for h in IMPORTED_HINTS]
    assert sorted(p.name for p in chip.iterdir()) == [
        "TPS62840YBGR-fetch-log.json", "TPS62840YBGR.kicad_mod", "TPS62840YBGR.kicad_sym", "TPS62840YBGR.step"]
    assert (chip / "TPS62840YBGR.step").read_bytes() == STEP
    log = fetch_log(kenv, "TPS62840YBGR")
    assert sorted(e["target"] for e in log) == sorted(l[4:] for l in lines[1:4])
    for entry in log:
        assert sorted(entry) == ["at", "magic_ok", "size_bytes", "src_path", "target"]
        assert entry["magic_ok"] is True
        assert re.fullmatch(re.escape(str(kenv.tmp)) + r"/kestrel-\d+/.+", entry["src_path"])
    assert {e["size_bytes"] for e in log} == {len(STEP), len(SYM), len(MOD)}
    assert leftover_unpack_dirs(kenv) == []


def test_html_saved_as_pdf_in_archive_fails_the_import_with_its_path(kenv):
    archive = make_zip(kenv.home / "pkg.zip", [("x.pdf", HTML)])
    r = kenv.run("import", str(archive), "--mpn", "NE555", "--no-validate")
    assert r.returncode == 1
    assert r.stdout == ""
    m = re.fullmatch(r"Error: magic-byte check failed for (\S+)\n\nCaused by:\n    (.*)\n", r.stderr)
    assert m, r.stderr
    inner = m.group(1)
    assert re.fullmatch(re.escape(str(kenv.tmp)) + r"/kestrel-\d+/x\.pdf", inner)
    assert m.group(2) == f"file looks like HTML (probably a CDN denial / 404 page), not a pdf: {inner}"
    assert list((kenv.lib / "NE555").iterdir()) == []
    # The unpacked files stay for inspection after a failed walk.
    assert Path(inner).read_bytes() == HTML


def test_unzip_is_called_with_quiet_overwrite_into_the_process_folder(kenv):
    kenv.fake("unzip", [{"exit": 0}])
    archive = make_zip(kenv.home / "a.zip", [("X1.step", STEP)])
    r = kenv.run("import", str(archive), "--mpn", "X1", "--no-validate")
    assert r.returncode == 0, r.stderr
    (call,) = kenv.calls("unzip")
    assert call["argv"][:4] == ["-q", "-o", str(archive), "-d"]
    assert re.fullmatch(re.escape(str(kenv.tmp)) + r"/kestrel-\d+", call["argv"][4])
    assert r.stdout.splitlines()[:2] == [f"imported into {kenv.lib / 'X1'}",
                                         f"  (no recognized files found in {archive})"]


def test_unzip_failures(kenv):
    bad = kenv.home / "broken.zip"
    bad.write_bytes(b"PK\x03\x04 this is not really a zip")
    r = kenv.run("import", str(bad), "--mpn", "X1")
    assert r.returncode == 1
    # unzip speaks to the terminal itself; the error report comes last.
    assert r.stderr.endswith(f"Error: unzip failed for {bad}\n")
    assert leftover_unpack_dirs(kenv) == []

    good = make_zip(kenv.home / "good.zip", [("X1.step", STEP)])
    r = kenv.run("import", str(good), "--mpn", "X1", PATH=str(kenv.bin))
    assert r.returncode == 1
    assert r.stderr.startswith("Error: running unzip — install `unzip` if missing\n\nCaused by:\n    ")
    assert not (kenv.lib / "X1" / "X1.step").exists()


def test_nested_archive_does_not_lose_the_outer_files_still_waiting(kenv):
    inner = make_zip(kenv.root / "build" / "inner.zip", [("MX12.kicad_sym", SYM), ("deeper/MX12.kicad_mod", MOD)])
    # Files of sub-folders are imported after the top level, so the outer STEP
    # is still waiting when the inner archive's walk ends.
    outer = make_zip(kenv.home / "MX12-bundle.zip", [("inner.zip", inner.read_bytes()), ("models/MX12.step", STEP)])
    r = kenv.run("import", str(outer), "--no-validate")
    assert r.returncode == 0, r.stderr
    assert sorted(l for l in r.stdout.splitlines() if l.startswith("  + ")) == [
        "  + MX12.kicad_mod", "  + MX12.kicad_sym", "  + MX12.step"]
    assert (kenv.lib / "MX12" / "MX12.step").read_bytes() == STEP
    assert leftover_unpack_dirs(kenv) == []


def test_archive_member_paths_never_leave_the_unpack_folder(kenv):
    stray = f"kestrel-escape-{kenv.root.name}.pdf"
    archive = make_zip(kenv.home / "ZS99.zip", [
        ("../" + stray, PDF), ("../../" + stray, PDF), ("/" + stray, PDF), ("ZS99.step", STEP)])
    r = kenv.run("import", str(archive), "--no-validate")
    for place in (kenv.tmp, kenv.root, Path("/"), kenv.lib, kenv.lib / "ZS99"):
        assert not (place / stray).exists(), place
    # unzip reports the stripped paths as a warning, which fails the import;
    # nothing of the archive reached the library.
    assert r.returncode == 1
    assert r.stderr.endswith(f"\nError: unzip failed for {archive}\n")
    assert list((kenv.lib / "ZS99").iterdir()) == []


def test_links_stored_in_an_archive_are_never_followed(kenv):
    private = kenv.home / "private.pdf"
    private.write_bytes(PDF + b"secret")
    (kenv.home / "secrets").mkdir()
    (kenv.home / "secrets" / "LK42.kicad_sym").write_bytes(SYM)
    archive = make_zip(kenv.home / "LK42.zip", [
        ("link", "LK42.pdf", str(private)),
        ("link", "kicad", str(kenv.home / "secrets")),
        ("LK42.step", STEP),
    ])
    r = kenv.run("import", str(archive), "--no-validate")
    assert r.returncode == 0, r.stderr
    assert [l for l in r.stdout.splitlines() if l.startswith("  + ")] == ["  + LK42.step"]
    assert sorted(p.name for p in (kenv.lib / "LK42").iterdir()) == ["LK42-fetch-log.json", "LK42.step"]
    assert leftover_unpack_dirs(kenv) == []


def test_provenance_flags_record_every_file_and_copy_the_kicad_files(kenv):
    archive = make_zip(kenv.home / "pkg.zip", [("a.kicad_sym", SYM), ("a.STP", STEP)])
    r = kenv.run("import", str(archive), "--mpn", "P1", "--discovery-source", "digikey", "--no-validate")
    assert r.returncode == 0, r.stderr
    chip = kenv.lib / "P1"
    prov = json.loads((chip / "P1-file-provenance.json").read_text())
    assert sorted(prov) == ["P1.kicad_sym", "P1.step"]
    for record in prov.values():
        assert record["content_origin"] == "unknown"
        assert record["discovery_source"] == "digikey"
        assert record["url"] == ""
        assert isinstance(record["fetched_at"], int)
    assert (chip / "P1.unknown.kicad_sym").read_bytes() == SYM
    assert not (chip / "P1.unknown.kicad_mod").exists()

    r = kenv.run("import", str(archive), "--mpn", "P2", "--no-validate")
    assert r.returncode == 0, r.stderr
    assert sorted(p.name for p in (kenv.lib / "P2").iterdir()) == [
        "P2-fetch-log.json", "P2.kicad_sym", "P2.step"]


def test_plain_file_lines_and_name_errors(kenv):
    notes = kenv.home / "notes.txt"
    notes.write_text("not a part file")
    r = kenv.run("import", str(notes), "--mpn", "X", "--no-validate")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [f"imported into {kenv.lib / 'X'}",
                                     f"  (no recognized files found in {notes})",
                                     *[h.format(mpn="X") for h in IMPORTED_HINTS]]

    for name in ("1234.pdf", "datasheet.pdf"):
        f = kenv.home / name
        f.write_bytes(PDF)
        r = kenv.run("import", str(f))
        assert r.returncode == 1
        assert r.stderr == f"Error: could not infer MPN from path '{f}' — pass --mpn\n"

    r = kenv.run("import", str(kenv.home / "gone.pdf"), "--mpn", "X")
    assert r.returncode == 1
    assert r.stderr == f"Error: path does not exist: {kenv.home / 'gone.pdf'}\n"


def test_unsafe_mpn_creates_nothing_outside_the_library(kenv):
    f = kenv.home / "LM358.pdf"
    f.write_bytes(PDF)
    for mpn in ("..", "../outside", "a/b"):
        r = kenv.run("import", str(f), "--mpn", mpn)
        assert r.returncode == 1
        assert r.stderr.startswith(f"Error: invalid MPN '{mpn}': "), r.stderr
    assert not (kenv.root / "outside").exists()
    assert not (kenv.root / "LM358.pdf").exists()
    assert list(kenv.lib.iterdir()) == []
