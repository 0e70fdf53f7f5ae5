"""`kestrel sources` and `kestrel next-source`: the ladder and the walk along it."""

import json

RUNGS = ["manufacturer", "snapmagic", "mouser", "digikey", "arrow", "cse_ul"]


def write_chain(kenv, mpn, chain, **extra):
    kenv.chip(mpn, info={"mpn": mpn, "fetched_via_chain": chain, **extra})


def entry(source, outcome, note=None, at=1):
    return {"source": source, "outcome": outcome, "note": note, "at": at}


def next_lines(r):
    assert r.returncode == 0, r.stderr
    return r.stdout.splitlines()[-2:]


def test_sources_prints_the_ladder_in_order(kenv):
    r = kenv.run("sources")
    assert r.returncode == 0
    lines = r.stdout.splitlines()
    assert lines[:2] == ["Sourcing-ladder priority (always go in order, never skip):", ""]
    slugs = RUNGS + ["lcsc"]
    for n, (line, slug) in enumerate(zip(lines[2:9], slugs), start=1):
        assert line.startswith(f"  {n}. {slug:<14}  "), line
    assert lines[2].endswith(" \u2014 STEP, datasheet, lifecycle. ALWAYS try first, even when confident.")
    assert lines[8].endswith(" \u2014 LAST RESORT. Avoid if possible; tell user we couldn't find it on the "
                             "manufacturer's site instead.")
    assert lines[9:] == [
        "",
        "HINT: LCSC is LAST RESORT \u2014 avoid if possible. Surface 'no manufacturer CAD' to user before "
        "reaching for LCSC.",
        "HINT: Stock data (stock.json) comes from Mouser regardless of where CAD/PDFs land.",
    ]


def test_next_source_without_a_record_suggests_the_manufacturer(kenv):
    r = kenv.run("next-source", "LM358DR")
    assert r.returncode == 0
    assert r.stdout.splitlines() == [
        "Sourcing chain so far for LM358DR (0 entries):",
        "",
        "",
        "NEXT: try manufacturer next.",
        "HINT: `kestrel mfr-probe LM358DR` will detect the manufacturer + open their page in skiff.",
    ]
    assert not (kenv.lib / "LM358DR").exists()


def test_next_source_shows_the_chain_with_notes(kenv):
    write_chain(kenv, "A", [entry("manufacturer", "attempted", "auto-probe \u2192 TI"), "mouser:search page:empty",
                            entry("digikey", "OK", ""), {"source": "arrow", "outcome": "OK"}, 42])
    r = kenv.run("next-source", "A")
    assert r.stdout.splitlines()[:6] == [
        "Sourcing chain so far for A (3 entries):",
        "  manufacturer \u2192 attempted \u2014",
        "    auto-probe \u2192 TI",
        "  mouser \u2192 empty \u2014",
        "    search page",
        "  digikey \u2192 OK ",
    ]
    assert next_lines(r)[0] == "NEXT: try manufacturer next."


def test_next_source_walks_the_ladder_and_reaches_lcsc_last(kenv):
    chain = [entry("manufacturer", "attempted")]
    write_chain(kenv, "A", chain)
    assert next_lines(kenv.run("next-source", "A"))[0] == "NEXT: try manufacturer next."

    # Each real outcome moves the suggestion one rung down, aliases included.
    aliases = {"manufacturer": "MFR", "snapmagic": "SnapEDA", "cse_ul": "UL"}
    for i, slug in enumerate(RUNGS):
        chain.append(entry(aliases.get(slug, slug), ["empty", "404", "blocked", "OK"][i % 4]))
        write_chain(kenv, "A", chain)
        r = kenv.run("next-source", "A")
        if i + 1 < len(RUNGS):
            nxt = RUNGS[i + 1]
            assert next_lines(r) == [
                f"NEXT: try {nxt} next.",
                f"HINT: heartbeat `kestrel heartbeat A \"trying {nxt}\"` before navigating, then heartbeat the "
                "outcome (\"empty\" / \"OK\" / \"404\") so next-source advances correctly.",
            ]
    assert next_lines(r) == [
        "NEXT: try lcsc next.",
        "HINT: LCSC is the LAST step \u2014 only fall here when every prior step has a recorded failure. "
        "Surface 'no manufacturer CAD found' to the user before pulling LCSC.",
    ]

    # Opening LCSC is not a try; a recorded outcome exhausts the ladder.
    chain.append(entry("lcsc", "attempted"))
    write_chain(kenv, "A", chain)
    assert next_lines(kenv.run("next-source", "A"))[0] == "NEXT: try lcsc next."
    chain.append(entry("lcsc", "empty"))
    write_chain(kenv, "A", chain)
    r = kenv.run("next-source", "A")
    assert r.returncode == 0
    assert r.stdout.splitlines()[-3:] == [
        "",
        "NEXT: ladder fully exhausted for A. No more steps to try.",
        "HINT: if the chip is still incomplete, surface 'no CAD available anywhere' to the user \u2014 don't claim done.",
    ]


def test_next_source_never_jumps_to_lcsc_early(kenv):
    # LCSC recorded first, and a rung spelled in a way the ladder does not know.
    write_chain(kenv, "A", [entry("lcsc", "OK"), entry("Ultra Librarian", "empty")]
                + [entry(s, "empty") for s in RUNGS[:5]])
    assert next_lines(kenv.run("next-source", "A"))[0] == "NEXT: try cse_ul next."


def test_next_source_fails_only_on_an_unreadable_record(kenv):
    kenv.chip("A", info="{broken")
    assert next_lines(kenv.run("next-source", "A"))[0] == "NEXT: try manufacturer next."
    (kenv.lib / "D" / "info.json").mkdir(parents=True)
    r = kenv.run("next-source", "D")
    assert r.returncode == 1
    assert r.stderr.startswith(f"Error: reading {kenv.lib / 'D' / 'info.json'}")
