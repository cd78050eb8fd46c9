#!/usr/bin/env bash
# One kpl-host polling N simulated units (one UPS and one air conditioner
# each) every second: rounds completed against rounds due, host CPU, and
# resident memory per device, for each N given (default 100 500 1000).
#   tools/perf/scale.sh [N...]
#   WINDOW_S=30 WARMUP_S=10 POLL_MS=1000 tools/perf/scale.sh 1000
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(tools/perf/build.sh qlt-scale kpl-host qltmodel qlt-unit-sim | tail -1)

# Each unit holds a listener and a connection on the simulator's side.
ulimit -n 65536 2>/dev/null || ulimit -n "$(ulimit -Hn)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(100 500 1000)
for n in "${counts[@]}"; do
  "$build/bench/scale/qlt-scale" --units "$n" --kpl-host "$build/kpl-host" \
    --plugin "$build/qltmodel.so" --unit-sim "$build/tools/unit_sim/qlt-unit-sim" --work "$work" \
    --poll-ms "${POLL_MS:-1000}" --warmup-s "${WARMUP_S:-10}" --window-s "${WINDOW_S:-30}"
done
