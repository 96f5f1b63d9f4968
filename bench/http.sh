#!/usr/bin/env bash
# Get of a 256 MiB file from nginx in string mode beside curl on the same URL.
set -euo pipefail
"$1/bin/http_bench" $((256 * 1024 * 1024))
