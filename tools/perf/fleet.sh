#!/usr/bin/env bash
# A fleet on loopback: HOSTS kpl-host processes (default 20) of UNITS units
# each (default 50) reporting to one local mosquitto; the broker's and the
# hosts' CPU, and the latency of alarm changes from the unit to a subscriber.
#   tools/perf/fleet.sh
#   HOSTS=20 UNITS=50 POLL_MS=1000 WINDOW_S=40 tools/perf/fleet.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(tools/perf/build.sh qlt-fleet kpl-host qltmodel qlt-unit-sim | tail -1)
ulimit -n 65536 2>/dev/null || ulimit -n "$(ulimit -Hn)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/fleet/qlt-fleet" --kpl-host "$build/kpl-host" --plugin "$build/qltmodel.so" \
  --unit-sim "$build/qlt-unit-sim" --work "$work" --hosts "${HOSTS:-20}" \
  --units-per-host "${UNITS:-50}" --poll-ms "${POLL_MS:-1000}" --window-s "${WINDOW_S:-40}"
