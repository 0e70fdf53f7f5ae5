#!/usr/bin/env bash
# First run in one command: sets up and builds kestrel, builds a small demo
# library from the example bundles under examples/, and serves the dashboard on
# it until interrupted (Ctrl-C).
#
# Options:
#   --library DIR   where the demo library goes (default: demo-library/ here)
#   --port N        the dashboard port (default 8786, the port heartbeats use)
#   --no-build      skip setup and build; use $KESTREL_BIN or build/kestrel
#   --library-only  build the demo library and stop without serving
set -euo pipefail

start_dir=$PWD
cd "$(dirname "$0")/.."
repo=$PWD

library="$repo/demo-library"
port=8786
build=1
serve=1
while [ $# -gt 0 ]; do
  case "$1" in
    --library) library="${2:?--library needs a folder}"; shift 2 ;;
    --port) port="${2:?--port needs a number}"; shift 2 ;;
    --no-build) build=0; shift ;;
    --library-only) serve=0; shift ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
case "$library" in /*) ;; *) library="$start_dir/$library" ;; esac

if [ "$build" = 1 ]; then
  bash scripts/setup.sh
fi
kestrel="${KESTREL_BIN:-$repo/build/kestrel}"
if [ ! -x "$kestrel" ]; then
  echo "demo: no kestrel binary at $kestrel" >&2
  exit 1
fi

# Every run starts from a fresh library. Only a folder this script made (it
# carries the marker file) is ever cleared; anything else is left alone.
marker=.kestrel-demo-library
if [ -e "$library" ]; then
  if [ -f "$library/$marker" ]; then
    rm -rf -- "$library"
  elif [ -n "$(ls -A -- "$library")" ]; then
    echo "demo: $library exists and is not a demo library; choose another with --library" >&2
    exit 1
  fi
fi
mkdir -p -- "$library"
: > "$library/$marker"

# One chip per bundle, named after the bundle's symbol (or datasheet) file. The
# bundle's info.json goes in first, as an agent would have written it, so the
# card shows its maker, package and description.
count=0
for bundle in examples/*/; do
  mpn=""
  for f in "$bundle"*.kicad_sym "$bundle"*.pdf; do
    if [ -e "$f" ]; then
      mpn=$(basename "${f%.*}")
      break
    fi
  done
  [ -n "$mpn" ] || continue
  mkdir -p -- "$library/$mpn"
  if [ -f "$bundle/info.json" ]; then
    cp -- "$bundle/info.json" "$library/$mpn/info.json"
  fi
  if ! out=$(KESTREL_LIB="$library" "$kestrel" import "$bundle" --mpn "$mpn" --no-validate 2>&1); then
    printf '%s\n' "$out" >&2
    echo "demo: importing $bundle failed" >&2
    exit 1
  fi
  printf '%s\n' "$out" | grep -E '^(imported into |  \+ )' || true
  count=$((count + 1))
done
echo "demo library: $library ($count parts)"

if [ "$serve" = 0 ]; then
  echo "serve it with: KESTREL_LIB=$library $kestrel serve --port $port"
  exit 0
fi

# The address a browser reaches the dashboard at, through the workspace proxy
# when one is configured (the same rules the dashboard uses for its links).
if [ -n "${VELM_PROXY_HOST:-}" ]; then
  address="https://$VELM_PROXY_HOST/proxy/$port/"
elif [ -n "${VELM_CONTAINER_SLUG:-}" ]; then
  address="https://$VELM_CONTAINER_SLUG.containers.velm.dev/proxy/$port/"
elif [[ "${VSCODE_PROXY_URI:-}" == *"{{port}}"* ]]; then
  address="${VSCODE_PROXY_URI//\{\{port\}\}/$port}"
else
  address="http://127.0.0.1:$port/"
fi
echo "open the dashboard at $address (Ctrl-C stops it)"
exec env KESTREL_LIB="$library" "$kestrel" serve --port "$port"
