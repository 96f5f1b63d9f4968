#!/usr/bin/env bash
# Socket session benchmarks; $1 is the benchmark build folder.
set -euo pipefail
"$1/bin/net_bench" all
