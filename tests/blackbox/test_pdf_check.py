"""kestrel pdf-check: the sweep for datasheets that are not PDFs, and --repair
with its blame in the ledger."""

import json

import pytest

HTML = b"<!DOCTYPE html><html><head><title>Just a moment...</title></head>"

REPAIR_HINT = ("HINT: bogus PDFs deleted + info.json.fetched_via_chain updated. "
               "Run `kestrel next-source <MPN>` to see what to try next.")
REPORT_HINT = ("HINT: re-run with --repair to delete bogus PDFs + record html_masquerade in "
               "fetched_via_chain. Then refetch from next ladder source.")


def entry(source, outcome, at=1):
    return {"source": source, "outcome": outcome, "note": None, "at": at}


def chain(kenv, mpn):
    return json.loads((kenv.lib / mpn / "info.json").read_text())["fetched_via_chain"]


def test_real_pdfs_and_chips_without_one_pass(kenv):
    kenv.chip("A1", {"A1.pdf": b"%PDF-1.4\nrest"})
    kenv.chip("B2", {"notes.txt": "x"})
    (kenv.lib / "stray.pdf").write_bytes(b"<html>")  # files in the root are no chips
    r = kenv.run("pdf-check")
    assert (r.returncode, r.stdout, r.stderr) == (0, "PDF check: 1/1 real PDFs (1 chips have no PDF)\n", "")

    r = kenv.run("pdf-check", "--mpn", "B2")
    assert (r.returncode, r.stdout) == (0, "PDF check: 0/0 real PDFs (1 chips have no PDF)\n")


@pytest.mark.parametrize("content", [
    b"%PDF",             # fewer than five bytes
    b"%PDF1.4\n",        # no dash, although an import would take it
    HTML,
    b"",
])
def test_bogus_pdf_is_reported_and_fails(kenv, content):
    kenv.chip("C3", {"C3.pdf": content})
    r = kenv.run("pdf-check")
    assert r.returncode == 1
    shown = content.decode()[:60]
    assert r.stdout == (
        "PDF check: 0/1 real PDFs (0 chips have no PDF)\n"
        "\n"
        "Bogus PDFs (HTML masquerading as %PDF-):\n"
        f"  ❌ C3 ({len(content)} bytes)\n"
        f"     first 60 bytes: {shown}\n"
        "\n"
        f"{REPORT_HINT}\n")
    assert r.stderr == "Error: found 1 bogus PDF(s)\n"
    assert (kenv.lib / "C3" / "C3.pdf").read_bytes() == content


def test_head_is_cut_before_a_character_that_crosses_byte_sixty(kenv):
    head = b"<html>" + b"a" * 53 + "é€".encode() + b"\xff tail"
    kenv.chip("D4", {"D4.pdf": head})
    r = kenv.run("pdf-check", "--mpn", "D4")
    assert r.returncode == 1
    assert f"     first 60 bytes: <html>{'a' * 53}\n" in r.stdout
    kenv.chip("D4", info={"fetched_via_chain": [entry("mouser", "OK")]})
    r = kenv.run("pdf-check", "--mpn", "D4", "--repair")
    # The note carries 60 characters of the head, invalid bytes replaced.
    note = chain(kenv, "D4")[-1]["note"]
    assert note == "PDF was actually HTML — first 80 bytes: " + ("<html>" + "a" * 53 + "é€\ufffd")[:60]


def test_repair_deletes_and_blames_the_last_delivering_source(kenv):
    ledger = [entry("mouser", "OK"), entry("digikey", "OK", 2), entry("arrow", "attempted", 3), "junk:x", 7]
    kenv.chip("E5", {"E5.pdf": HTML}, info={"mpn": "E5", "fetched_via_chain": ledger})
    kenv.chip("F6", {"F6.pdf": HTML}, info={"fetched_via_chain": [entry("mouser", "attempted")]})
    r = kenv.run("pdf-check", "--repair")
    assert r.returncode == 1
    lines = r.stdout.splitlines()
    assert lines[0] == "PDF check: 0/2 real PDFs (0 chips have no PDF); --repair active"
    assert sorted(l for l in lines if "❌" in l) == [f"  ❌ {m} ({len(HTML)} bytes) → DELETED" for m in ("E5", "F6")]
    assert lines[-1] == REPAIR_HINT
    assert r.stderr == "Error: found 2 bogus PDF(s)\n"
    assert not (kenv.lib / "E5" / "E5.pdf").exists()
    assert not (kenv.lib / "F6" / "F6.pdf").exists()

    e5 = chain(kenv, "E5")
    assert e5[:5] == ledger  # odd elements stay untouched
    assert len(e5) == 6
    assert (e5[5]["source"], e5[5]["outcome"]) == ("digikey", "html_masquerade")
    assert e5[5]["note"] == "PDF was actually HTML — first 80 bytes: " + HTML.decode()[:60]
    # No delivery on record: nothing to blame.
    assert chain(kenv, "F6") == [entry("mouser", "attempted")]

    r = kenv.run("pdf-check", "--repair")
    assert (r.returncode, r.stdout) == (0, "PDF check: 0/0 real PDFs (2 chips have no PDF); --repair active\n")


@pytest.mark.parametrize("source,outcome,blamed", [
    ("cse", "OK", "cse_ul"),
    ("lcsc", "lcsc_last_resort", "lcsc"),
    ("Mouser", "download OK", "manufacturer"),  # no case folding: unknown sources blame rung 0
    ("snapmagic", "refetch OK", "snapmagic"),
])
def test_repair_maps_the_blamed_source_to_its_rung(kenv, source, outcome, blamed):
    kenv.chip("G7", {"G7.pdf": HTML}, info={"fetched_via_chain": [entry(source, outcome)]})
    kenv.run("pdf-check", "--repair")
    last = chain(kenv, "G7")[-1]
    assert (last["source"], last["outcome"]) == (blamed, "html_masquerade")


def test_missing_library_fails(kenv):
    missing = kenv.root / "nowhere"
    r = kenv.run("pdf-check", KESTREL_LIB=str(missing))
    assert r.returncode == 1
    assert r.stderr == f"Error: library does not exist at {missing}\n"
