#!/usr/bin/env bash
# Installs what is missing, builds, starts a simulated unit on loopback and
# runs kpl-host against it for a bounded number of rounds, with its status
# page on a free loopback port (the host prints the address: open it while
# the demo runs). Along the way the unit's scenario raises a mains alarm and
# an over-temperature, then clears both.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
cmake --preset default
cmake --build --preset default -j"$(nproc)" --target kpl-host qltmodel qlt-unit-sim

build=build/default
work=$(mktemp -d)
trap 'kill "${sim_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
cp examples/demo.json examples/scenario.json "$work/"

# The unit takes an ephemeral port; the host is told which.
"$build/qlt-unit-sim" --config "$work/demo.json" --ports-file "$work/ports" \
  --duration-s 60 &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/ports" ] && break; sleep 0.1; done
port=$(awk '$1 == 7 {print $2}' "$work/ports")
sed "s/\"port\": 0/\"port\": $port/" "$work/demo.json" > "$work/host.json"

"$build/kpl-host" --plugin "$build/qltmodel.so" --config "$work/host.json" \
  --rounds "${ROUNDS:-20}" --events "$work/events.jsonl" --history "${HISTORY:-$build/kpl-history.db}" \
  --http "${HTTP:-127.0.0.1:0}"
echo "run: $(wc -l < "$work/events.jsonl") events; raised and cleared:"
grep '"event":"alarm"' "$work/events.jsonl" || true
