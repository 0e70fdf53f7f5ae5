"""`kestrel list`, `status` and `done`: presence flags and the completeness ladder."""

LISTED_HINTS = [
    "HINT: inspect one: `kestrel status <MPN>`",
    "HINT: fetch a missing one: `kestrel fetch <MPN>`",
]


def test_list_shows_quick_flags_in_byte_order(kenv):
    kenv.chip("b1", {"b1.step": "x"})
    kenv.chip("B2", {"B2.stp": "x", "B2.kicad_sym": "x", "B2.kicad_mod": "x", "B2-datasheet.pdf": "x"})
    kenv.chip("B10", {"B10.pdf": "x"})
    kenv.chip("\u00b5A741", {})
    (kenv.lib / "stray.txt").write_text("not a chip")
    r = kenv.run("list")
    assert r.returncode == 0
    yes, no, micro = "\u2713", "\u00b7", "\u00b5A741"
    assert r.stdout.splitlines() == [
        f"4 parts in {kenv.lib}",
        f"  {'B10':<24} step={no} mod={no} sym={no} pdf={yes}",
        f"  {'B2':<24} step={no} mod={yes} sym={yes} pdf={no}",
        f"  {'b1':<24} step={yes} mod={no} sym={no} pdf={no}",
        f"  {micro:<24} step={no} mod={no} sym={no} pdf={no}",
    ] + LISTED_HINTS
    # Padding counts characters, not bytes.
    assert len(r.stdout.splitlines()[4].split(" step=")[0]) == 2 + 24


def test_list_of_an_empty_or_missing_library(kenv):
    expected = f"library is empty ({kenv.lib})\nHINT: kick off a first fetch: `kestrel fetch <MPN>`\n"
    (kenv.lib / "not-a-chip.txt").write_text("x")
    r = kenv.run("list")
    assert (r.returncode, r.stdout) == (0, expected)
    (kenv.lib / "not-a-chip.txt").unlink()
    kenv.lib.rmdir()
    r = kenv.run("list")
    assert (r.returncode, r.stdout) == (0, expected)


def test_status_of_present_and_missing_chips(kenv):
    kenv.chip("LM358DR", {"LM358DR.step": "x", "LM358DR.pdf": "x"})
    for mpn, flags in (("LM358DR", "step=\u2713 mod=\u00b7 sym=\u00b7 pdf=\u2713"),
                       ("NOPE", "step=\u00b7 mod=\u00b7 sym=\u00b7 pdf=\u00b7")):
        r = kenv.run("status", mpn)
        assert r.returncode == 0
        assert r.stdout.splitlines() == [
            f"{mpn:<24} {flags}",
            f"HINT: if anything is missing, fetch with `kestrel fetch {mpn}`",
            f"HINT: heartbeat any user-visible action with `kestrel heartbeat {mpn} \"<stage>\"`",
        ]
    assert not (kenv.lib / "NOPE").exists()


def test_done_prints_the_ladder_and_the_first_missing_step(kenv):
    kenv.chip("A", {"A.stp": "x", "A.kicad_sym": "x", "A.lbr": "x", "stock.json": "not json"},
              info={"altium_source": "not_available"})
    r = kenv.run("done", "--mpn", "A")
    assert r.returncode == 0
    assert r.stdout.splitlines() == [
        "A \u2014 4/9 levels complete",
        "  \u2717 1. Datasheet PDF \u2192 fetch A.pdf from mfr \u2192 SnapMagic \u2192 Mouser \u2192 DigiKey",
        "  \u2713 2. 3D STEP model",
        "  \u2717 3. KiCad sym+mod \u2192 fetch .kicad_mod",
        "  \u2713 4. Altium library \u2192 (not available from any source)",
        "  \u2713 5. Fusion .lbr",
        "  \u2717 6. Thumbnails \u2192 `kestrel thumbnails --mpn A --force`",
        "  \u2717 7. Validated \u2192 run: `kestrel validate A` (needs PDF + sym + mod)",
        "  \u2713 8. Mouser stock",
        "  \u2717 9. File provenance \u2192 re-import with --discovery-source + --content-origin flags",
        "",
        "HINT: next step for A: Datasheet PDF \u2014 fetch A.pdf from mfr \u2192 SnapMagic \u2192 Mouser \u2192 DigiKey",
        "",
    ]


def test_done_summarises_several_chips(kenv):
    full = {"F" + ext: "x" for ext in (".pdf", ".step", ".kicad_sym", ".kicad_mod", ".IntLib", ".lbr",
                                       "-symbol.svg", "-footprint.svg", "-3d-iso.png", "-file-provenance.json")}
    full["F-validation-status.json"] = '{"arbiter_status": "golden"}'
    full["stock.json"] = "{}"
    kenv.chip("F", full)
    kenv.chip("G", {"G-validation-status.json": '{"arbiter_status": "divergent"}'})
    r = kenv.run("done")
    assert r.returncode == 0
    lines = r.stdout.splitlines()
    assert lines[0] == "F \u2014 9/9 levels complete"
    assert lines[10] == ""
    assert all(l.startswith("  \u2713 ") and "\u2192" not in l for l in lines[1:10])
    assert "  \u2717 7. Validated \u2192 re-run: `kestrel validate G`" in lines
    assert lines[-1] == "SUMMARY: 1/2 chips at level 9 (fully complete)"


def test_done_on_empty_library_and_missing_chip(kenv):
    r = kenv.run("done")
    assert r.returncode == 0 and r.stdout == "library is empty.\n"
    kenv.chip("A")
    r = kenv.run("done", "--mpn", "B")
    assert r.returncode == 1
    assert r.stderr == "Error: no chip B in library\n"
    r = kenv.run("done")
    assert "SUMMARY" not in r.stdout
