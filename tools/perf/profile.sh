#!/usr/bin/env bash
# Where kpl-host's CPU goes when it polls N units (default 1000): runs the
# scale harness and samples kpl-host with perf for 10 s inside its measured
# window, then prints the scale figures, each thread's share by library, and
# the functions (with what they call) that take the most.
#   tools/perf/profile.sh [N]
#   KEEP=DIR tools/perf/profile.sh   keeps perf.data in DIR for perf report
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(tools/perf/build.sh qlt-scale kpl-host qltmodel qlt-unit-sim | tail -1)
command -v perf > /dev/null || { echo "profile: perf is not installed (linux-perf)" >&2; exit 1; }

ulimit -n 65536 2>/dev/null || ulimit -n "$(ulimit -Hn)"
out=${KEEP:-$(mktemp -d)}
mkdir -p "$out"
[ -n "${KEEP:-}" ] || trap 'rm -rf "$out"' EXIT

"$build/bench/scale/qlt-scale" --units "${1:-1000}" --kpl-host "$build/kpl-host" \
  --plugin "$build/qltmodel.so" --unit-sim "$build/qlt-unit-sim" \
  --work "$out" --warmup-s 8 --window-s 20 > "$out/scale.txt" &
scale_pid=$!
sleep 12
host_pid=$(pgrep -P "$scale_pid" -x kpl-host || true)
[ -n "$host_pid" ] || { echo "profile: kpl-host is not running" >&2; wait "$scale_pid"; exit 1; }
perf record -F 1999 -g -p "$host_pid" -o "$out/perf.data" -- sleep 10 2> /dev/null
wait "$scale_pid"
cat "$out/scale.txt"
echo "== share of the samples by thread and library"
perf report -i "$out/perf.data" --no-children --sort pid,dso -g none 2> /dev/null |
  grep -E '^ +[0-9]' | head -20
echo "== functions, with what they call, over 3 %"
perf report -i "$out/perf.data" --children --sort pid,sym -g none --percent-limit 3 2> /dev/null |
  grep -E '^ +[0-9]' | head -60
