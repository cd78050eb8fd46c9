#!/usr/bin/env bash
# One kpl-host polling N simulated units (one UPS and one air conditioner
# each) every second: rounds completed against rounds due, CPU, and resident
# memory per device, for each N given (default 100 500 1000); and the same for
# the floor poller (qlt-scale-floor: the same requests on the same schedule,
# nothing done with the replies), the cost of the exchanges alone.
# PLACEMENTS picks where the units and the client run:
#   free       as the scheduler likes (the default),
#   apart      units on CPU 0, client on CPU 1,
#   together   both on CPU 1,
# since on this virtual machine a wake-up across CPUs costs several times one
# on the same CPU (see docs/performance.md).
#   tools/perf/scale.sh [N...]
#   PLACEMENTS="free apart together" CLIENTS="kpl-host floor" WINDOW_S=30 WARMUP_S=10 \
#     POLL_MS=1000 tools/perf/scale.sh 1000
# kpl-host serves its status endpoint, whose /api/devices counts the rounds
# at both ends of the window; SCRAPE_S=5 also fetches /metrics every 5 s
# through the window, timing each fetch.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(tools/perf/build.sh qlt-scale qlt-scale-floor kpl-host qltmodel qlt-unit-sim | tail -1)

# Each unit holds a listener and a connection on the simulator's side.
ulimit -n 65536 2>/dev/null || ulimit -n "$(ulimit -Hn)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(100 500 1000)
for placement in ${PLACEMENTS:-free}; do
  case $placement in
    free) pins=() ;;
    apart) pins=(--sim-cpus 0 --client-cpus 1) ;;
    together) pins=(--sim-cpus 1 --client-cpus 1) ;;
    *) echo "scale: unknown placement $placement" >&2; exit 2 ;;
  esac
  if [ "$(nproc)" -lt 2 ] && [ "$placement" != free ]; then continue; fi
  for n in "${counts[@]}"; do
    for client in ${CLIENTS:-kpl-host floor}; do
      echo "== placement: $placement"
      "$build/bench/scale/qlt-scale" --units "$n" --client "$client" \
        --kpl-host "$build/kpl-host" --plugin "$build/qltmodel.so" \
        --floor "$build/bench/scale/qlt-scale-floor" \
        --unit-sim "$build/qlt-unit-sim" --work "$work" \
        --poll-ms "${POLL_MS:-1000}" --warmup-s "${WARMUP_S:-10}" --window-s "${WINDOW_S:-30}" \
        --scrape-s "${SCRAPE_S:-0}" "${pins[@]}"
    done
  done
done
