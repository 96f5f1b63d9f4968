#!/usr/bin/env bash
# Watch-cycle benchmarks; $1 is the benchmark build folder.
set -euo pipefail
build=$1
echo "-- mark-up removal: one pass against step by step"
"$build/bin/cycle_strip_bench"
