# The libFuzzer targets and how they are built and run, shared by scripts/fuzz (timed runs),
# bench/fuzz.sh (runs of a number of executions, with figures) and scripts/test (the short run).
# Sourced with the repository's root as the working folder.

# Every target: fuzz/<name>_fuzz.cpp, built as build/fuzz/bin/olv_fuzz_<name>, seeds in fuzz/corpus/<name>.
OLV_FUZZ_TARGETS=(reply ini pcap config journal modbus_tcp frames)

# The longest input a target is given: a configuration file as the program saves it is about 3 kB,
# so that target gets room for one edited by hand.
olv_fuzz_max_len() {
    case "$1" in
    config) echo 8192 ;;
    *) echo 4096 ;;
    esac
}

# Configures build/fuzz (clang, the sanitizers, no window) and builds the targets named.
olv_fuzz_build() {
    cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DOLV_FUZZ=ON -DOLV_BUILD_UI=OFF -DOLV_BUILD_TESTS=OFF \
        $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) >/dev/null
    cmake --build build/fuzz -j "${OLV_JOBS:-$(nproc)}" --target "${@/#/olv_fuzz_}"
}

# olv_fuzz_run TARGET CORPUS LOG [libFuzzer options...]: runs one target from its seeds (only read)
# into CORPUS (new inputs), its output into LOG; failing inputs go to the build folder as crash-*,
# leak-*, timeout-*. The build folder is build/fuzz, or OLV_FUZZ_BUILD_DIR (scripts/test's sanitizer
# build holds the targets as well). OLV_FUZZ_NICE=N runs it niced. Returns libFuzzer's status
# (0: nothing found).
olv_fuzz_run() {
    local target="$1" corpus log
    mkdir -p "$2" "$(dirname "$3")"
    corpus="$(realpath "$2")"
    log="$(realpath "$(dirname "$3")")/$(basename "$3")"
    shift 3
    local status=0
    local nice=()
    [ -n "${OLV_FUZZ_NICE:-}" ] && nice=(nice -n "$OLV_FUZZ_NICE")
    (cd "${OLV_FUZZ_BUILD_DIR:-build/fuzz}" && ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" "${nice[@]}" "bin/olv_fuzz_$target" \
        -max_len="$(olv_fuzz_max_len "$target")" -timeout=10 -print_final_stats=1 -artifact_prefix=./ \
        "$@" "$corpus" "$OLDPWD/fuzz/corpus/$target") >"$log" 2>&1 || status=$?
    return "$status"
}

# The figures of a finished run from its log: executions, then cov and ft of libFuzzer's last status
# line, then the number of failing inputs it reported (0 or 1: a run stops at its first).
olv_fuzz_figures() {
    local log="$1"
    local runs cov ft crashes
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    cov="$( (grep -o 'cov: [0-9]*' "$log" || true) | tail -n 1 | cut -d' ' -f2)"
    ft="$( (grep -o 'ft: [0-9]*' "$log" || true) | tail -n 1 | cut -d' ' -f2)"
    crashes="$( (grep -c '^artifact_prefix=.*Test unit written to' "$log" || true) | head -n 1)"
    echo "${runs:-0} ${cov:-0} ${ft:-0} ${crashes:-0}"
}
