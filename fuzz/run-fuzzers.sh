#!/usr/bin/env bash
# Runs every fuzz target of a PERCHLY_FUZZ build for a bounded time and fails
# on any finding (crash, leak, undefined behaviour, failed property, hang).
#
#   fuzz/run-fuzzers.sh <build dir> [target...]
#
# FUZZ_SECONDS (default 60) is the time per target, FUZZ_JOBS (default 2) how
# many targets run at once. Each target starts from its seeds in
# fuzz/corpus/<target>/ and from what earlier runs found, kept in
# <build dir>/corpus/<target>/; a finding is saved under
# <build dir>/artifacts/<target>/ and can be replayed with
#   <build dir>/bin/fuzz_<target> <file>
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:?usage: fuzz/run-fuzzers.sh <build dir> [target...]}
shift
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-2}

# The longest input each target is given: enough for its format, small enough
# to keep the step-by-step references cheap.
declare -A max_len=(
    [profile_file]=4096
    [http_header]=4096
    [parse_url]=512
    [markup]=2048
    [prompt_file]=8192
    [url_encode]=4096
    [uu_encode]=1024
    [chunked]=4096
    [page_charset]=4096
    [char_refs]=1024
    [char_match]=512
    [json_escapes]=1024
)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(profile_file http_header parse_url markup prompt_file url_encode
    uu_encode chunked page_charset char_refs char_match json_escapes)

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_one() {
    local target=$1
    local corpus=$build/corpus/$target artifacts=$build/artifacts/$target
    mkdir -p "$corpus" "$artifacts"
    "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
        -max_len="${max_len[$target]}" -use_value_profile=1 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" "fuzz/corpus/$target" \
        >"$build/fuzz-$target.log" 2>&1
}

declare -A pid_of=()
failed=()
finish() {
    local target=$1
    if wait "${pid_of[$target]}"; then
        echo "fuzz $target: ok ($(grep -o 'stat::number_of_executed_units: [0-9]*' \
            "$build/fuzz-$target.log" | grep -o '[0-9]*$') runs)"
    else
        echo "fuzz $target: FAILED, log $build/fuzz-$target.log" >&2
        grep -E -A12 'property failed|ERROR:|runtime error' "$build/fuzz-$target.log" | head -40 >&2
        ls "$build/artifacts/$target" >&2
        failed+=("$target")
    fi
}

running=()
for target in "${targets[@]}"; do
    [ -n "${max_len[$target]:-}" ] || { echo "unknown fuzz target: $target" >&2; exit 2; }
    echo "fuzz $target: ${seconds}s"
    run_one "$target" &
    pid_of[$target]=$!
    running+=("$target")
    if [ ${#running[@]} -ge "$jobs" ]; then
        finish "${running[0]}"
        running=("${running[@]:1}")
    fi
done
for target in "${running[@]}"; do
    finish "$target"
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzzing found faults in: ${failed[*]}" >&2
    exit 1
fi
echo "fuzzing: no findings in ${#targets[@]} targets"
