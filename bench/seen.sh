#!/usr/bin/env bash
# Keeping presence: the check's transaction with spans, a year's database, the
# records window and perchly --seen on that year.
set -euo pipefail
build=$1
if [ -x "$build/bin/seen_bench" ]; then
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$build/bin/seen_bench"
fi
