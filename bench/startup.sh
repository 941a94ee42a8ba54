#!/usr/bin/env bash
# Launch to the first visible window under Xvfb: the minimal window (bench/minimal_window.cpp),
# celvio with an empty history and celvio with a history of ENTRIES entries (5 devices, one
# entry a day each), the median of RUNS launches each, taken in turns. The programs print the wall-clock
# time once their first window has been exposed and drawn and quit (CELVIO_EXIT_AFTER_SHOW).
# Then the peak resident set (VmHWM) of celvio with either history, SETTLE seconds after its
# launch, when the long history has arrived and been shown.
#
# Goals: the long history's start within 1.2x of the minimal window's; its peak RSS at most
# 1.5x the empty history's plus the file's size.
#
#   bench/startup.sh [BUILD_DIR]      (default: build; RUNS=5 ENTRIES=50000 SETTLE=5)
set -euo pipefail

build=${1:-build}
runs=${RUNS:-5}
entries=${ENTRIES:-50000}
settle=${SETTLE:-5}

# A private X server for the whole run.
if [ -z "${CELVIO_BENCH_IN_XVFB:-}" ]; then
  CELVIO_BENCH_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

cmake --build "$build" --target celvio minimal_window >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset QT_QPA_PLATFORM
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export USBMUXD_SOCKET_ADDRESS="UNIX:$work/no-daemon"
# A desktop has its session bus; without one, every D-Bus client here would first try to
# start one through dbus-launch.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
mkdir -p "$HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"

python3 - "$entries" >"$work/long.json" <<'EOF'
import sys, time, uuid
n = int(sys.argv[1])
start = 1_000_000_000  # 2001-09-09
lines = []
for i in range(n):
    day, device = divmod(i, 5)
    mac = device == 0
    date = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(start + day * 86400 + device * 600))
    lines.append(
        '{"batterySerial":"F5D12345678ABCDE%d","cycleCount":%d,"date":"%s","designCapacity":3279,'
        '"deviceName":"Anna\u2019s %s","deviceSerial":"F2LXK0Q1N%d","fullChargeCapacity":%d,"id":"%s",'
        '"kind":"%s","modelIdentifier":"%s","osVersion":"%s"}'
        % (device, 100 + day // 3, date, "ThinkPad" if mac else "iPhone %d" % device, device,
           3100 - day // 10, str(uuid.uuid4()).upper(), "mac" if mac else "ios",
           "MacBookPro18,3" if mac else "iPhone15,2", "6.1.0" if mac else "17.4.1"))
print("[\n" + ",\n".join(lines) + "\n]")
EOF

# prepare CASE: a fresh data folder, with the long history for "long".
prepare() {
  rm -rf "$work/data" "$XDG_CONFIG_HOME"
  mkdir -p "$work/data/Celvio"
  [ "$1" = long ] && cp "$work/long.json" "$work/data/Celvio/history.json"
  return 0
}

# shown_ms CASE COMMAND...: milliseconds from launch to the first drawn window.
shown_ms() {
  local case=$1; shift
  prepare "$case"
  local start; start=$(date +%s%3N)
  local shown; shown=$(XDG_DATA_HOME="$work/data" CELVIO_EXIT_AFTER_SHOW=1 "$@" 2>/dev/null | tail -n 1)
  echo $((shown - start))
}

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# peak_kib CASE: celvio's VmHWM after SETTLE seconds.
peak_kib() {
  prepare "$1"
  XDG_DATA_HOME="$work/data" "$build/celvio" >/dev/null 2>&1 &
  local pid=$!
  sleep "$settle"
  local hwm; hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  echo "$hwm"
}

# Taken in turns, so a busy moment of the machine weighs on all three alike.
for _ in $(seq "$runs"); do
  shown_ms empty "$build/bench/minimal_window" >>"$work/minimal.ms"
  shown_ms empty "$build/celvio" >>"$work/empty.ms"
  shown_ms long "$build/celvio" >>"$work/long.ms"
done
minimal=$(median "$work/minimal.ms")
empty=$(median "$work/empty.ms")
long=$(median "$work/long.ms")
empty_rss=$(peak_kib empty)
long_rss=$(peak_kib long)
file_kib=$(( $(stat -c %s "$work/long.json") / 1024 ))

awk -v m="$minimal" -v e="$empty" -v l="$long" -v n="$entries" -v er="$empty_rss" -v lr="$long_rss" \
    -v f="$file_kib" 'BEGIN {
  printf "first visible window, median of '"$runs"' (ms): minimal %d, celvio empty %d, celvio %d entries %d\n", m, e, n, l
  printf "ratio %d entries / minimal: %.2fx (goal: at most 1.2x); empty / minimal: %.2fx; %d entries / empty: %.2fx\n",
         n, l / m, e / m, n, l / e
  printf "peak RSS (MiB): empty %.1f, %d entries %.1f, file %.1f; limit 1.5 x empty + file = %.1f\n",
         er / 1024, n, lr / 1024, f / 1024, (1.5 * er + f) / 1024
}'
