#!/usr/bin/env bash
# Runs each libFuzzer target (or the ones named) for a number of executions and prints, per target,
# the executions, the rate, the coverage (cov: edges, ft: features, from libFuzzer's final status)
# and the failing inputs found. FUZZ_RUNS=N sets the executions (default 10 million); FUZZ_MAX_SECONDS=S
# stops a target earlier after S seconds (a slow one: its figures then say how far it came). The runs
# are niced (FUZZ_NICE, default 10) and go one after another; AddressSanitizer keeps no allocation
# stacks (a third faster; run a failing input again by hand for them). New inputs go to build/fuzz/corpus/<target>
# (kept between runs), logs to build/fuzz/logs/<target>.log, failing inputs to build/fuzz/ as crash-*.
# Prints figures; fails only when a target cannot be built.
#   bench/fuzz.sh                 every target
#   FUZZ_RUNS=100000 bench/fuzz.sh pcap journal
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
olv_ensure_packages
source scripts/fuzz_common.sh

runs="${FUZZ_RUNS:-10000000}"
export OLV_FUZZ_NICE="${FUZZ_NICE:-10}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:malloc_context_size=0}"
limit=()
[ -n "${FUZZ_MAX_SECONDS:-}" ] && limit=(-max_total_time="$FUZZ_MAX_SECONDS")
if [ $# -gt 0 ]; then targets=("$@"); else targets=("${OLV_FUZZ_TARGETS[@]}"); fi
olv_fuzz_build "${targets[@]}" >/dev/null

printf '%-12s %12s %9s %8s %7s %8s  %s\n' target executions seconds exec/s cov ft crashes
for target in "${targets[@]}"; do
    log="build/fuzz/logs/$target.log"
    start=$(date +%s)
    olv_fuzz_run "$target" "build/fuzz/corpus/$target" "$log" -runs="$runs" "${limit[@]}" || true
    seconds=$(($(date +%s) - start))
    read -r done cov ft crashes < <(olv_fuzz_figures "$log")
    rate=$((done / (seconds > 0 ? seconds : 1)))
    found="$crashes"
    [ "$crashes" -gt 0 ] && found="$crashes ($(grep -o 'Test unit written to .*' "$log" | tail -n 1 | cut -d' ' -f5))"
    printf '%-12s %12s %9s %8s %7s %8s  %s\n' "$target" "$done" "$seconds" "$rate" "$cov" "$ft" "$found"
done
