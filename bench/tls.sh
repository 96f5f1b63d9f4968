#!/usr/bin/env bash
# The client over TLS: Get of 1 MiB from nginx beside curl (time ratio), and CPU
# while a TLS server dribbles; $1 is the benchmark build folder.
set -euo pipefail
"$1/bin/tls_bench" all
