#!/usr/bin/env bash
# Starts Perchly from its build folder. Without a display Qt cannot open a window;
# say how to get one instead of letting the platform plugin abort.
set -euo pipefail
exe=$1
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found. Run 'xvfb-run make run' for a virtual one, or set" >&2
    echo "QT_QPA_PLATFORM=offscreen to run Perchly without showing a window." >&2
    exit 1
fi
exec "$exe"
