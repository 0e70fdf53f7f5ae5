#!/usr/bin/env bash
# Sets up, builds, and runs every test: the unit tests and the black-box suite.
# The suite runs in a private mount namespace with its own /tmp, because the
# heartbeat files under /tmp are fixed paths shared by every kestrel process.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ -z "${KESTREL_IN_NAMESPACE:-}" ] && unshare -m --propagation private true 2>/dev/null; then
  exec unshare -m --propagation private env KESTREL_IN_NAMESPACE=1 \
    bash -c 'mount -t tmpfs tmpfs /tmp && cd "$0" && ctest --test-dir build --output-on-failure' "$PWD"
fi
ctest --test-dir build --output-on-failure
