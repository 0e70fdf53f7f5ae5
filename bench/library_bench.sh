#!/usr/bin/env bash
# Library scan benchmark (a measurement, not a test).
#
# Generates a library of CHIPS chip folders (about twelve files each: CAD
# files, previews, info.json, a provenance file, a validation status file, a
# thumbs index and a fetch log) in a temporary folder, then times, warm cache:
#   baseline  the same file-system work done by the shell: `find` listing every
#             file with its size, plus reading every JSON file once;
#   gate      `kestrel gate` over the library (a full inventory scan).
# Prints each figure (best of RUNS) and its ratio to the baseline.
#
# Usage: bench/library_bench.sh [path/to/kestrel]
#   KESTREL_BIN  the binary (default: build/kestrel beside this folder)
#   CHIPS        number of chip folders (default 10000)
#   RUNS         timed runs per measurement, best kept (default 5)
#   KEEP=1       keep the generated library and print where it is
#
# To add a measurement: write a function `bench_<name>` that runs the work
# once against "$LIB" (output discarded), and add <name> to MEASUREMENTS.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
KESTREL=${1:-${KESTREL_BIN:-$HERE/../build/kestrel}}
CHIPS=${CHIPS:-10000}
RUNS=${RUNS:-5}
MEASUREMENTS=(gate)

if [[ ! -x $KESTREL ]]; then
    echo "kestrel binary not found at $KESTREL (pass it as the first argument or set KESTREL_BIN)" >&2
    exit 2
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench.XXXXXX")
LIB=$WORK/library
cleanup() {
    if [[ ${KEEP:-0} == 1 ]]; then
        echo "library kept in $LIB"
    else
        rm -rf "$WORK"
    fi
}
trap cleanup EXIT

# --- library generation -------------------------------------------------------
generate_library() {
    /usr/bin/python3 - "$LIB" "$CHIPS" <<'PY'
import json, os, sys
root, count = sys.argv[1], int(sys.argv[2])
os.makedirs(root)
prefixes = ["TPS", "LM", "STM32F", "ESP32-", "BME", "MAX", "NRF52", "XYZ"]
def dump(path, value):
    with open(path, "w") as f:
        json.dump(value, f, indent=2, sort_keys=True)
def blob(path, size):
    with open(path, "wb") as f:
        f.write(b"x" * size)
for i in range(count):
    mpn = f"{prefixes[i % len(prefixes)]}{i:05d}X"
    d = os.path.join(root, mpn)
    os.mkdir(d)
    complete = i % 50 != 0  # one chip in fifty lacks its footprint
    dump(os.path.join(d, "info.json"), {
        "mpn": mpn, "manufacturer": "Maker", "package": "QFN-16", "family": "regulator",
        "description": "A part used to measure the inventory scan " * 3,
        "step_source": "mfr", "datasheet_url": f"https://example.invalid/{mpn}.pdf",
        "fetched_via_chain": [
            {"at": 1700000000 + i, "note": "auto-probe", "outcome": "attempted", "source": "manufacturer"},
            {"at": 1700000100 + i, "note": "manufacturer: OK", "outcome": "OK", "source": "manufacturer"},
        ],
    })
    prov = {}
    for ext in ("pdf", "step", "kicad_sym", "kicad_mod"):
        prov[f"{mpn}.{ext}"] = {"content_origin": "vendor", "discovery_source": "manufacturer",
                                "fetched_at": 1700000200, "url": f"https://example.invalid/{mpn}.{ext}"}
    dump(os.path.join(d, f"{mpn}-file-provenance.json"), prov)
    dump(os.path.join(d, f"{mpn}-validation-status.json"),
         {"arbiter_status": "golden", "variants": [{"kind": "pinout"}], "checked_at": 1700000300})
    dump(os.path.join(d, f"{mpn}-thumbs.json"),
         {"thumbnails": {"symbol": f"{mpn}-symbol.svg", "footprint": f"{mpn}-footprint.svg",
                         "threeD": {"inferredSourceUpAxis": "z", "file": f"{mpn}-3d-iso.png"}}})
    dump(os.path.join(d, f"{mpn}-fetch-log.json"),
         [{"at": 1700000200, "file": f"{mpn}.{ext}", "from": f"/tmp/incoming/{mpn}.{ext}"}
          for ext in ("pdf", "step", "kicad_sym", "kicad_mod")])
    blob(os.path.join(d, f"{mpn}.pdf"), 4096)
    blob(os.path.join(d, f"{mpn}.step"), 2048)
    blob(os.path.join(d, f"{mpn}.kicad_sym"), 1024)
    if complete:
        blob(os.path.join(d, f"{mpn}.kicad_mod"), 1024)
    else:
        blob(os.path.join(d, "notes.txt"), 100)
    blob(os.path.join(d, f"{mpn}-symbol.svg"), 512)
    blob(os.path.join(d, f"{mpn}-footprint.svg"), 512)
    blob(os.path.join(d, f"{mpn}-3d-iso.png"), 512)
PY
}

# --- measurements -------------------------------------------------------------
# Each runs the work once; output is discarded and the exit status ignored
# (the gate exits 1 because some chips are incomplete).
bench_baseline() {
    find "$LIB" -type f -printf '%s %p\n' >/dev/null
    find "$LIB" -type f -name '*.json' -print0 | xargs -0 cat >/dev/null
}

bench_gate() {
    KESTREL_LIB=$LIB "$KESTREL" gate >/dev/null 2>&1 || true
}

# Best wall time of RUNS runs of `bench_$1`, in seconds, after one warm-up run.
best_time() {
    local fn=bench_$1 best="" start end elapsed
    "$fn"
    for ((run = 0; run < RUNS; run++)); do
        start=$EPOCHREALTIME
        "$fn"
        end=$EPOCHREALTIME
        elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
        if [[ -z $best ]] || awk -v e="$elapsed" -v b="$best" 'BEGIN { exit !(e < b) }'; then
            best=$elapsed
        fi
    done
    echo "$best"
}

# --- run ----------------------------------------------------------------------
echo "generating $CHIPS chips in $LIB ..."
generate_library
files=$(find "$LIB" -type f | wc -l)
json_files=$(find "$LIB" -type f -name '*.json' | wc -l)
echo "library: $CHIPS chips, $files files ($json_files JSON)"

baseline=$(best_time baseline)
printf '%-10s %8.3f s\n' baseline "$baseline"
for name in "${MEASUREMENTS[@]}"; do
    t=$(best_time "$name")
    ratio=$(awk -v t="$t" -v b="$baseline" 'BEGIN { printf "%.2f", t / b }')
    printf '%-10s %8.3f s   %sx baseline\n' "$name" "$t" "$ratio"
done
