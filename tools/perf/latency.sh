#!/usr/bin/env bash
# Pass latency on loopback against one simulated unit (one UPS: 9 batches):
# the reference host's pieces with the plug-in, against the floor (a
# blocking-socket client sending the same requests) and libmodbus. Runs the
# comparison three times, with the unit and the clients placed
#   as the scheduler likes   (no pinning),
#   apart                    (unit on CPU 0, clients on CPU 1: as when the unit
#                             is another machine and every reply wakes the host),
#   together                 (both on CPU 1: every reply is a switch between them),
# since on this virtual machine where the threads land changes the floor
# itself several-fold.
#   tools/perf/latency.sh [qlt-pass-latency options, e.g. --passes 1000]
#   PLACEMENTS="apart" tools/perf/latency.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(tools/perf/build.sh qlt-pass-latency qlt-unit-sim qltmodel | tail -1)

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  [ -z "$sim_pid" ] || wait "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cat > "$work/unit.json" <<'JSON'
{"devices": [{"device_number": 1, "port": 0, "appSetting": {"ups": 1}}]}
JSON
# The unit stops by itself even if this script is killed.
"$build/qlt-unit-sim" --config "$work/unit.json" --ports-file "$work/ports" \
  --duration-s 900 --quiet > "$work/sim.log" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/ports" ] && break; sleep 0.1; done
port=$(awk '$1 == 1 {print $2}' "$work/ports")
[ -n "$port" ] || { echo "latency: the simulated unit did not start" >&2; exit 1; }

all_cpus=0-$(($(nproc) - 1))
for placement in ${PLACEMENTS:-free apart together}; do
  case $placement in
    free) unit_cpus=$all_cpus client_cpus=$all_cpus ;;
    apart) unit_cpus=0 client_cpus=1 ;;
    together) unit_cpus=1 client_cpus=1 ;;
    *) echo "latency: unknown placement $placement" >&2; exit 2 ;;
  esac
  if [ "$(nproc)" -lt 2 ] && [ "$placement" != free ]; then continue; fi
  echo "== placement: $placement (unit on CPU $unit_cpus, clients on CPU $client_cpus)"
  taskset -a -pc "$unit_cpus" "$sim_pid" > /dev/null
  rm -f "$work"/history.db*
  taskset -c "$client_cpus" timeout 290 "$build/bench/latency/qlt-pass-latency" --port "$port" \
    --plugin "$build/qltmodel.so" --history "$work/history.db" "$@"
  echo
done
