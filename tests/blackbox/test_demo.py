"""The first-run demo: scripts/demo.sh builds a library from the example
bundles (the serving loop at its end is the ordinary `serve`)."""

import json
import subprocess
from pathlib import Path

from conftest import KESTREL

REPO = Path(__file__).resolve().parents[2]
EXPECTED = {  # chip: files it must end up with, from its bundle
    "KX1200A": ("kx1200a-ldo", ["pdf", "step", "kicad_sym", "kicad_mod"]),
    "KX4410B": ("kx4410b-opamp", ["pdf", "step", "kicad_sym", "kicad_mod"]),
    "KX9001C": ("kx9001c-sensor-incomplete", ["pdf", "kicad_sym"]),
}


def run_demo(kenv, library):
    return subprocess.run(["bash", str(REPO / "scripts" / "demo.sh"), "--no-build", "--library-only",
                           "--library", str(library)],
                          capture_output=True, text=True, timeout=120, cwd=kenv.root,
                          env=kenv.env(KESTREL_BIN=KESTREL))


def test_demo_builds_the_example_library(kenv):
    library = kenv.root / "demo"
    r = run_demo(kenv, library)
    assert r.returncode == 0, r.stdout + r.stderr
    lines = r.stdout.splitlines()
    assert f"demo library: {library} (3 parts)" in lines
    for mpn, (bundle, exts) in EXPECTED.items():
        assert f"imported into {library / mpn}" in lines
        for ext in exts:
            stored = library / mpn / f"{mpn}.{ext}"
            assert f"  + {mpn}.{ext}" in lines
            assert stored.read_bytes() == (REPO / "examples" / bundle / f"{mpn}.{ext}").read_bytes()
        info = json.loads((library / mpn / "info.json").read_text())
        assert info["manufacturer"] == "Example Semiconductor" and info["package"]
    # the incomplete part really is incomplete: the gate refuses the batch for it alone
    gate = kenv.run("gate", KESTREL_LIB=str(library))
    assert gate.returncode == 1
    out = gate.stdout.splitlines()
    assert any(l.strip().startswith("KX9001C: missing") for l in out), gate.stdout
    assert not any(l.strip().startswith(("KX1200A:", "KX4410B:")) for l in out), gate.stdout
    listing = kenv.run("list", KESTREL_LIB=str(library))
    assert listing.returncode == 0 and "3 parts" in listing.stdout


def test_demo_rebuilds_its_own_library_and_spares_other_folders(kenv):
    library = kenv.root / "demo"
    assert run_demo(kenv, library).returncode == 0
    (library / "KX1200A" / "notes.txt").write_text("stale")
    r = run_demo(kenv, library)
    assert r.returncode == 0, r.stderr
    assert not (library / "KX1200A" / "notes.txt").exists()

    precious = kenv.root / "precious"
    precious.mkdir()
    (precious / "keep.txt").write_text("mine")
    r = run_demo(kenv, precious)
    assert r.returncode == 1
    assert "is not a demo library" in r.stderr
    assert [p.name for p in precious.iterdir()] == ["keep.txt"]
