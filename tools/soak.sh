#!/usr/bin/env bash
# The long run of `make soak`: the watcher offscreen for SOAK_SECONDS (default
# 600) against nginx with five sites, one of them hostile, at a 3-second
# interval; prints descriptors and memory after a warm-up and at the end, and
# fails when either grew beyond noise. $1 is the build folder holding
# bin/watch_soak.
set -euo pipefail
build=${1:?usage: tools/soak.sh <build folder>}
seconds=${SOAK_SECONDS:-600}
soak="$build/bin/watch_soak"
[ -x "$soak" ] || { echo "soak: $soak is missing; build it first (make soak does)" >&2; exit 1; }
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || { echo "soak: nginx is missing" >&2; exit 1; }
export PATH="$PATH:/usr/sbin"
export QT_QPA_PLATFORM=offscreen
exec "$soak" "$seconds"
