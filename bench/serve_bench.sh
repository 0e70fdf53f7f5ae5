#!/usr/bin/env bash
# Dashboard server benchmark (a measurement, not a test).
#
# On the generated library of bench/library_bench.sh (10,000 chips by default)
# it measures, warm cache, the median of RUNS runs of:
#   gate       `kestrel gate`: one inventory scan in a fresh process;
#   library    GET /api/library on a running `kestrel serve` (scan + JSON);
#   heartbeat  `kestrel heartbeat <MPN> downloading` end to end with the
#              dashboard up on 8786, the port heartbeats post to (its own
#              library scan, the POST, and the files under /tmp).
# and prints the route's ratio to the gate (goal: at most 1.3).
#
# Usage: bench/serve_bench.sh [path/to/kestrel]
#   KESTREL_BIN  the binary (default: build/kestrel beside this folder)
#   LIB          an existing library to use instead of generating one
#   CHIPS        chips to generate (default 10000)
#   RUNS         runs per measurement (default 20)
# The heartbeat is skipped when something else already listens on 8786.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
KESTREL=${1:-${KESTREL_BIN:-$HERE/../build/kestrel}}
KESTREL=$(cd "$(dirname "$KESTREL")" && pwd)/$(basename "$KESTREL")
RUNS=${RUNS:-20}
CHIPS=${CHIPS:-10000}
DASHBOARD_PORT=8786

if [[ ! -x $KESTREL ]]; then
    echo "kestrel binary not found at $KESTREL (pass it as the first argument or set KESTREL_BIN)" >&2
    exit 2
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-serve-bench.XXXXXX")
SERVE_PID=""
SAVED_HEARTBEAT=""
cleanup() {
    if [[ -n $SERVE_PID ]]; then
        kill "$SERVE_PID" 2>/dev/null || true
        wait "$SERVE_PID" 2>/dev/null || true
    fi
    if [[ -n $SAVED_HEARTBEAT ]]; then
        cp "$SAVED_HEARTBEAT" /tmp/kestrel-last-heartbeat.json
    fi
    if [[ -n ${GENERATED:-} ]]; then
        rm -rf "$(dirname "$GENERATED")"
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

if [[ -z ${LIB:-} ]]; then
    echo "generating $CHIPS chips with bench/library_bench.sh ..."
    out=$(KEEP=1 RUNS=1 CHIPS=$CHIPS "$HERE/library_bench.sh" "$KESTREL")
    GENERATED=$(sed -n 's/^library kept in //p' <<<"$out")
    LIB=$GENERATED
fi
MPN=$(find "$LIB" -mindepth 1 -maxdepth 1 -type d -printf '%f\n' | sort | sed -n 1p)
echo "library: $LIB ($(find "$LIB" -mindepth 1 -maxdepth 1 -type d | wc -l) chips)"

port_in_use() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start_server() {
    KESTREL_LIB=$LIB "$KESTREL" serve --port "$1" >"$WORK/serve.log" 2>&1 &
    SERVE_PID=$!
    for _ in $(seq 100); do
        port_in_use "$1" && return 0
        sleep 0.05
    done
    echo "server did not start; see its log:" >&2
    cat "$WORK/serve.log" >&2
    exit 1
}

# Median of the numbers on standard input.
median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Wall seconds of one run of a command.
wall() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || true
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}

# --- measurements -------------------------------------------------------------
heartbeat_port_free=1
if port_in_use "$DASHBOARD_PORT"; then
    heartbeat_port_free=0
    port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("0.0.0.0",0)); print(s.getsockname()[1])')
else
    port=$DASHBOARD_PORT
fi
start_server "$port"
url=http://127.0.0.1:$port/api/library
curl -fs -o "$WORK/library.json" "$url"
bytes=$(stat -c %s "$WORK/library.json")
# Gate runs and requests alternate, so a busy machine weighs on both alike.
wall env KESTREL_LIB="$LIB" "$KESTREL" gate >/dev/null  # warm-up
for ((i = 0; i < RUNS; i++)); do
    wall env KESTREL_LIB="$LIB" "$KESTREL" gate >>"$WORK/gate.times"
    curl -fs -o /dev/null -w '%{time_total}\n' "$url" >>"$WORK/library.times"
done
gate=$(median <"$WORK/gate.times")
library=$(median <"$WORK/library.times")

printf '%-10s %8.3f s   (median of %d)\n' gate "$gate" "$RUNS"
printf '%-10s %8.3f s   (median of %d, %d bytes)   %sx gate (goal <= 1.3x)\n' library "$library" "$RUNS" "$bytes" \
    "$(awk -v a="$library" -v b="$gate" 'BEGIN { printf "%.2f", a / b }')"

if [[ $heartbeat_port_free == 1 ]]; then
    if [[ -f /tmp/kestrel-last-heartbeat.json ]]; then
        SAVED_HEARTBEAT=$WORK/last-heartbeat.json
        cp /tmp/kestrel-last-heartbeat.json "$SAVED_HEARTBEAT"
    fi
    had_stage=0
    [[ -f /tmp/kestrel-stage-$MPN.json ]] && had_stage=1
    hb=$(for ((i = 0; i < RUNS; i++)); do
        wall env KESTREL_LIB="$LIB" "$KESTREL" heartbeat "$MPN" downloading
    done | median)
    [[ $had_stage == 0 ]] && rm -f "/tmp/kestrel-stage-$MPN.json"
    delivered=$(curl -fs "http://127.0.0.1:$DASHBOARD_PORT/api/activity" | grep -c "\"mpn\":\"$MPN\"" || true)
    printf '%-10s %8.3f s   (median of %d, dashboard up, delivered: %s)\n' heartbeat "$hb" "$RUNS" \
        "$([[ $delivered == 1 ]] && echo yes || echo no)"
else
    echo "heartbeat  skipped: port $DASHBOARD_PORT is in use by another process"
fi
