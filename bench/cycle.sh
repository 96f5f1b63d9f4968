#!/usr/bin/env bash
# Watch-cycle benchmarks; $1 is the benchmark build folder.
set -euo pipefail
build=$1
echo "-- mark-up removal: one pass against step by step"
"$build/bin/cycle_strip_bench"
if [ -x "$build/bin/cycle_full_bench" ]; then
    echo "-- one watch cycle on a 1 MiB page from nginx (GB2312 and UTF-8) against the fetch alone"
    QT_QPA_PLATFORM=offscreen "$build/bin/cycle_full_bench"
fi
