#!/usr/bin/env bash
# Load and save of a full settings file, and the file system calls of one of each.
set -euo pipefail
bin="$1/bin/store_bench"
"$bin"
if command -v strace >/dev/null; then
    echo "-- system calls of one load and one save (after the first save that creates the file):"
    strace -f -e trace=openat,read,write,fsync,rename -o /tmp/perchly-store-strace.txt "$bin" --once
    # Keep only the calls after the marker of the load, and only on perchly.ini files.
    awk '/-- load/{on=1} on' /tmp/perchly-store-strace.txt | grep -E 'perchly\.ini|rename|fsync' |
        sed -E 's/^[0-9]+ +//; s/"\/tmp\/perchly-bench-[^/]*\//"/g' | cut -c1-110
fi
