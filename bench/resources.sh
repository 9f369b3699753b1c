#!/usr/bin/env bash
# Resource figures of the program, printed; nothing here fails on a figure.
#   - start-up to the window shown;
#   - resident memory and processor time of the program after POLL_SECONDS (default 60) of polling
#     on the live page against the virtual instrument;
#   - processor time of a Pause;
#   - a 3-register read: our master against a peer that answers at once (median, floor, overhead) and
#     against the simulator, side by side with Debian's mbpoll making the same read of the same
#     simulator.
# The window runs offscreen (QT_QPA_PLATFORM=offscreen). Builds what it needs in OLV_BENCH_BUILD
# (default build/bench-resources).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
olv_ensure_packages

build="${OLV_BENCH_BUILD:-$root/build/bench-resources}"
jobs="${OLV_JOBS:-$(nproc)}"
poll_seconds="${POLL_SECONDS:-60}"
export QT_QPA_PLATFORM=offscreen

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs" --target modbus-olv modbus-olv-sim olv_bench_transaction olv_bench_pause \
    olv_bench_resources_read olv_bench_resources_startup >/dev/null

work="$(mktemp -d)"
sim_pid=""
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

echo "== start-up"
"$build/bin/olv_bench_resources_startup" 2>/dev/null

echo
echo "== ${poll_seconds} s of polling on the live page against the simulator"
"$build/bin/modbus-olv-sim" --link "$work/sim-port" >"$work/sim.out" 2>"$work/sim.log" </dev/null &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/sim-port" ] && break; sleep 0.1; done
printf '[COM_SETTINGS]\r\nNumber=1\r\nSettings=19200,E,8,2\r\n[DEVICE]\r\nNetAdrr=1\r\n[LOG]\r\nUseLogFile=0\r\n[PORTS]\r\nCOM1=%s\r\n' \
    "$work/sim-port" >"$work/dev.dat"
printf '[TAB]\r\nnum=0\r\n[IZM]\r\nwrite_file=0\r\n' >"$work/recent.prf"
(cd "$work" && exec "$build/bin/modbus-olv" >/dev/null 2>&1) &
program_pid=$!
sleep 2
requests_before=$(grep -c 'read 15+3' "$work/sim.log" || true)
ticks_before=$(awk '{print $14 + $15}' "/proc/$program_pid/stat")
sleep "$poll_seconds"
ticks_after=$(awk '{print $14 + $15}' "/proc/$program_pid/stat")
requests_after=$(grep -c 'read 15+3' "$work/sim.log" || true)
rss_kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$program_pid/status")
hwm_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$program_pid/status")
kill -TERM "$program_pid"
wait "$program_pid" 2>/dev/null || true
program_pid=""
hz=$(getconf CLK_TCK)
polls=$((requests_after - requests_before))
echo "  live-value reads seen by the simulator: $polls in ${poll_seconds} s"
[ "$polls" -eq 0 ] && echo "  (no polling: the live page did not poll in this build; the figures are of an idle window)"
awk -v t=$((ticks_after - ticks_before)) -v hz="$hz" -v s="$poll_seconds" \
    'BEGIN { printf "  processor time           %8.2f s = %.2f %% of one core (aim: below 1 %%)\n", t / hz, 100 * t / hz / s }'
echo "  resident memory          ${rss_kb} kB (peak ${hwm_kb} kB)"
kill "$sim_pid" && wait "$sim_pid" 2>/dev/null || true
sim_pid=""

echo
echo "== Pause"
"$build/bin/olv_bench_pause" 5 2>/dev/null

echo
echo "== 3-register read, our master against a peer that answers at once"
"$build/bin/olv_bench_transaction"

echo
echo "== 3-register read against the simulator (19200 bit/s, even parity, address 1)"
"$build/bin/olv_bench_resources_read" 100 2>/dev/null
"$build/bin/modbus-olv-sim" --quiet --link "$work/sim-port2" >"$work/sim2.out" 2>/dev/null </dev/null &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/sim-port2" ] && break; sleep 0.1; done
times=()
failed=0
for _ in $(seq 20); do
    start=$(date +%s%N)
    mbpoll -m rtu -a 1 -b 19200 -P even -t 4 -r 16 -c 3 -1 -q "$work/sim-port2" >/dev/null 2>&1 || failed=$((failed + 1))
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
done
printf '%s\n' "${times[@]}" | sort -n | awk -v f="$failed" '{ t[NR] = $1 } END {
    printf "mbpoll, the same read, 20 runs (%d failed), one process per read\n", f
    printf "  median   %8.3f ms   min/max %.3f / %.3f ms (includes starting mbpoll and opening the port)\n",
        t[int((NR + 1) / 2)] / 1000, t[1] / 1000, t[NR] / 1000 }'
