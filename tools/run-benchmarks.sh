#!/usr/bin/env bash
# Runs every benchmark script (bench/*.sh) against the benchmark build folder.
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")/.." && pwd)
status=0
for script in "$here"/bench/*.sh; do
    [ -e "$script" ] || continue
    echo "== $(basename "$script")"
    bash "$script" "$build" || status=1
done
exit $status
