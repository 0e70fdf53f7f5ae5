"""`kestrel gate`: refuses, with exit status 1, while any card lacks a core file."""

CORE = (".pdf", ".step", ".kicad_sym", ".kicad_mod")


def complete_chip(kenv, mpn, extra=()):
    kenv.chip(mpn, {mpn + ext: "x" for ext in CORE + tuple(extra)})


def hint_for(mpn, item):
    return (f"HINT: {mpn} \u2192 fetch {item} (see `kestrel sources` for the ladder, "
            f"then `kestrel heartbeat {mpn} \"<stage>\"` per stage)")


def test_incomplete_card_fails_with_every_missing_item(kenv):
    complete_chip(kenv, "A")
    kenv.chip("B", {"B.stp": "x"})
    r = kenv.run("gate")
    assert r.returncode == 1
    assert r.stdout.splitlines() == [
        "GATE: 1/2 cards complete",
        "",
        "Incomplete cards \u2014 DO NOT claim done while these exist:",
        "  B: missing datasheet.pdf, KiCad .kicad_sym, KiCad .kicad_mod",
        "",
        hint_for("B", "datasheet.pdf"),
        hint_for("B", "KiCad .kicad_sym"),
        hint_for("B", "KiCad .kicad_mod"),
        "",
        "HINT: re-run `kestrel gate` after each round of work \u2014 it returns 0 only when every card is complete.",
    ]
    assert r.stderr == "Error: gate FAILED: 1 of 2 cards incomplete\n"


def test_complete_library_passes(kenv):
    complete_chip(kenv, "A")
    complete_chip(kenv, "b", extra=(".IntLib",))
    r = kenv.run("gate")
    assert r.returncode == 0, r.stderr
    assert r.stdout == "GATE: 2/2 cards complete\n\nOK: all 2 cards complete.\n"


def test_strict_also_asks_for_altium_and_fusion_even_when_marked_unavailable(kenv):
    complete_chip(kenv, "A", extra=(".lbr",))
    (kenv.lib / "A" / "info.json").write_text('{"altium_source": "not_available"}')
    complete_chip(kenv, "C", extra=(".SchLib", ".PcbLib", ".lbr"))
    assert kenv.run("gate").returncode == 0
    r = kenv.run("gate", "--strict")
    assert r.returncode == 1
    lines = r.stdout.splitlines()
    assert lines[0] == "GATE: 1/2 cards complete (STRICT)"
    assert "  A: missing Altium (.SchLib+.PcbLib OR .IntLib)" in lines
    assert lines[-1] == ("HINT: re-run `kestrel gate --strict` after each round of work \u2014 "
                         "it returns 0 only when every card is complete.")
    assert r.stderr == "Error: gate FAILED: 1 of 2 cards incomplete\n"
    r = kenv.run("gate", "--strict", "--mpn", "C")
    assert r.returncode == 0
    assert r.stdout == "GATE: 1/1 cards complete (STRICT)\n\nOK: all 1 cards complete (STRICT).\n"


def test_mpn_filter_empty_library_and_missing_root(kenv):
    complete_chip(kenv, "A")
    kenv.chip("B")
    r = kenv.run("gate", "--mpn", "A")
    assert r.returncode == 0 and r.stdout.startswith("GATE: 1/1 cards complete\n")
    r = kenv.run("gate", "--mpn", "Z")
    assert r.returncode == 1
    assert r.stderr == "Error: no chip in library named Z\n"

    kenv.lib.rename(kenv.root / "moved")
    for args in (("gate",), ("gate", "--strict")):
        r = kenv.run(*args)
        assert r.returncode == 0 and r.stdout == "library is empty.\n"
    kenv.lib.mkdir()
    assert kenv.run("gate").stdout == "library is empty.\n"


def test_a_library_that_cannot_be_listed_fails(kenv):
    kenv.lib.rmdir()
    kenv.lib.write_text("not a folder")
    r = kenv.run("gate")
    assert r.returncode == 1
    assert r.stderr == f"Error: listing {kenv.lib}: Not a directory\n"
