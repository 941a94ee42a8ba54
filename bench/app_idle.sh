#!/usr/bin/env bash
# The application at rest, against a minimal Qt window, and in the background.
#
# Starts celvio-sim serving one device (bench/one-device.json), then runs `celvio`,
# `celvio --background` (no window, recording only) and then `minimal_window`
# (bench/minimal_window.cpp: one Qt Widgets window of the same 300 x 553 size holding a
# Qt Charts chart), each on its own for WARMUP + DURATION seconds
# under QT_QPA_PLATFORM=offscreen, with private XDG folders. For each it prints the CPU
# seconds (utime + stime of /proc/PID/stat) used in the DURATION seconds after the warm-up,
# the CPU seconds of the warm-up (start-up and the first device read), and the peak
# resident set (VmHWM of /proc/PID/status); then the differences and the ratio.
#
# Goals: idle CPU at most 0.1 s above the minimal window's; peak RSS within 1.5x; the
# background mode's idle CPU and peak RSS at most the window's.
#
#   bench/app_idle.sh [BUILD_DIR]        (default: build; DURATION=60 WARMUP=5)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
duration=${DURATION:-60}
warmup=${WARMUP:-5}

cmake --build "$build" --target celvio celvio-sim minimal_window >/dev/null

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -m 0700 "$work/runtime"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export USBMUXD_SOCKET_ADDRESS="UNIX:$work/usbmuxd"

"$build/celvio-sim" --scenario "$here/one-device.json" --socket "$work/usbmuxd" >/dev/null &
sim_pid=$!
for _ in $(seq 50); do [ -S "$work/usbmuxd" ] && break; sleep 0.1; done

ticks=$(getconf CLK_TCK)

# CPU ticks (user + system) of a process; the fields after the ")" that ends its name.
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# measure NAME COMMAND...: prints "NAME warmup_cpu idle_cpu peak_kib".
measure() {
  local name=$1; shift
  "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep "$warmup"
  local before; before=$(cpu_ticks "$pid")
  sleep "$duration"
  local after; after=$(cpu_ticks "$pid")
  local hwm; hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  echo "$name $(awk -v b="$before" -v a="$after" -v t="$ticks" 'BEGIN { printf "%.2f %.2f", b / t, (a - b) / t }') $hwm"
}

read -r _ app_warm app_idle app_rss < <(measure celvio "$build/celvio")
# The run counts only if the application did read the simulated device.
grep -q '"deviceSerial":"G7KQ2X4M9P"' "$work/data/Celvio/history.json" ||
  { echo "app_idle: celvio did not record the simulated device" >&2; exit 1; }
# Each run starts from an empty history, so each must record the device itself.
rm -rf "$work/data"
read -r _ bg_warm bg_idle bg_rss < <(measure background "$build/celvio" --background)
grep -q '"deviceSerial":"G7KQ2X4M9P"' "$work/data/Celvio/history.json" ||
  { echo "app_idle: celvio --background did not record the simulated device" >&2; exit 1; }
read -r _ min_warm min_idle min_rss < <(measure minimal_window "$build/bench/minimal_window")

printf '%-16s %12s %16s %14s\n' "" "warm-up CPU s" "idle CPU s (${duration} s)" "peak RSS MiB"
awk -v aw="$app_warm" -v ai="$app_idle" -v ar="$app_rss" -v mw="$min_warm" -v mi="$min_idle" -v mr="$min_rss" \
    -v bw="$bg_warm" -v bi="$bg_idle" -v br="$bg_rss" 'BEGIN {
  printf "%-16s %12s %16s %14.1f\n", "celvio", aw, ai, ar / 1024
  printf "%-16s %12s %16s %14.1f\n", "celvio --bg", bw, bi, br / 1024
  printf "%-16s %12s %16s %14.1f\n", "minimal_window", mw, mi, mr / 1024
  printf "idle CPU difference: %+.2f s (goal: at most +0.10 s)\n", ai - mi
  printf "peak RSS ratio: %.2fx, difference %+.1f MiB (goal: at most 1.5x)\n", ar / mr, (ar - mr) / 1024
  printf "background vs window: idle CPU %+.2f s, peak RSS %+.1f MiB (goal: at most 0 each)\n", bi - ai, (br - ar) / 1024
}'
