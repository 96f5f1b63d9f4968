#!/usr/bin/env bash
# Get of a 256 MiB file from nginx in string mode beside libcurl, Qt's
# QNetworkAccessManager and a bare recv loop on the same nginx.
set -euo pipefail
"$1/bin/http_bench" $((256 * 1024 * 1024))
