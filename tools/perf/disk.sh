#!/usr/bin/env bash
# What kpl-host costs a controller's flash disk, at the packaged defaults
# (the service's command line from debian/kpl-host.service, the shipped
# configuration with one unit of 1 UPS and 1 air conditioner added):
#   bytes   bytes written to disk per day: /proc/PID/io write_bytes over a
#           window (SECONDS_RUN, at least 600) after a warm-up, extrapolated;
#           the unit's values vary and an alarm is raised or cleared every
#           ALARM_EVERY_S (300) seconds
#   year    the disk in use after a simulated year (qlt-disk-year: the host's
#           own stores driven by a clock stepped by hand) at the shipped bounds
#   flat    resident memory, open files and threads of kpl-host polling the
#           unit every 20 ms, sampled every minute for an hour (FLAT_S)
#   tools/perf/disk.sh [bytes] [year] [flat]     (default: bytes year)
#   SECONDS_RUN=1800 WARMUP_S=120 tools/perf/disk.sh bytes
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=$(tools/perf/build.sh kpl-host qltmodel qlt-unit-sim qlt-disk-year | tail -1)
# On the disk itself, not in a memory file system, whose writes no disk sees.
work=$(mktemp -d "$root/build/perf-disk.XXXXXX")
sim_pid=""
host=""
trap 'kill "$sim_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

# The simulated unit: values that vary, and a mains alarm raised and cleared
# every ALARM_EVERY_S for as long as it runs.
start_unit() {  # duration_s
  local every=${ALARM_EVERY_S:-300} steps="" n=0
  for ((at = every; at < $1; at += every)); do
    local what=raise
    ((n++ % 2)) && what=clear
    steps+="${steps:+,}{\"at_s\": $at, \"$what\": [\"ups1.QLT_0\"]}"
  done
  cat >"$work/units.json" <<JSON
{"devices": [{"device_number": 1, "ip": "127.0.0.1", "port": 0, "appSetting": {"ups": 1, "ac": 1},
  "sim": {"vary": true, "scenario": {"steps": [$steps]}}}]}
JSON
  rm -f "$work/ports"
  "$build/qlt-unit-sim" --config "$work/units.json" --ports-file "$work/ports" \
    --duration-s "$(($1 + 60))" --quiet &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$work/ports" ] && break; sleep 0.1; done
  port=$(awk '$1 == 1 {print $2}' "$work/ports")
}

# The shipped configuration, with the unit in its device list.
host_config() {  # poll_interval_ms
  sed -e "s/\"devices\": \[\]/\"devices\": [{\"device_number\": 1, \"ip\": \"127.0.0.1\", \"port\": $port, \"appSetting\": {\"ups\": 1, \"ac\": 1}}]/" \
    -e "s/\"poll_interval_ms\": [0-9]*/\"poll_interval_ms\": $1/" \
    examples/kpl-host.json >"$work/host.json"
  grep -q '"port"' "$work/host.json" || { echo "disk: no device list in examples/kpl-host.json" >&2; exit 1; }
}

# The service's own command line, its paths moved into the work folder.
service_command() {
  sed -n 's/^ExecStart=//p' debian/kpl-host.service |
    sed -e "s|/usr/bin/kpl-host|$build/kpl-host|" -e "s|--plugin qltmodel|--plugin $build/qltmodel.so|" \
      -e "s|/etc/kpl-host/host.json|$work/host.json|" -e "s|/var/lib/kpl-host/|$work/|" \
      -e "s|/var/log/kpl-host/|$work/|"
}

io_written() { awk '$1 == "write_bytes:" {print $2}' "/proc/$1/io"; }

# The unit and the host as the service runs it, polling every $1 ms for $2
# seconds, its output in the work folder; sets host to its process id.
run_service() {
  start_unit "$(($2 + 60))"
  host_config "$1"
  rm -f "$work"/history.db* "$work"/events.jsonl*
  local cmd
  cmd=$(service_command)
  echo "== $cmd --duration-s $2 (polling every $1 ms)"
  # shellcheck disable=SC2086
  $cmd --duration-s "$2" >"$work/host.log" 2>&1 &
  host=$!
}

bytes() {
  local run=${SECONDS_RUN:-600} warm=${WARMUP_S:-60}
  [ "$run" -ge 600 ] || { echo "disk: SECONDS_RUN must be at least 600" >&2; exit 2; }
  run_service 1000 "$((warm + run + 20))"
  sleep "$warm"
  local w0 w1
  w0=$(io_written "$host")
  sleep "$run"
  w1=$(io_written "$host")
  local db wal ev
  db=$(stat -c %s "$work/history.db")
  wal=$(stat -c %s "$work/history.db-wal" 2>/dev/null || echo 0)
  ev=$(cat "$work"/events.jsonl* | wc -c)
  wait "$host" || true
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  awk -v a="$w0" -v b="$w1" -v s="$run" -v db="$db" -v wal="$wal" -v ev="$ev" \
    -v alarms="${ALARM_EVERY_S:-300}" 'BEGIN {
      d = b - a; day = d * 86400 / s;
      printf "disk: 1 unit (1 UPS + 1 air conditioner), poll 1000 ms, an alarm change every %d s\n", alarms;
      printf "  written in %d s: %d bytes (write_bytes of /proc/PID/io)\n", s, d;
      printf "  per day: %.2f MB (%.1f KB an hour); 15 years: %.1f GB\n", day / 1e6, d * 3600 / s / 1e3, day * 365 * 15 / 1e9;
      printf "  files at the end of the window: database %.1f KiB, its log %.1f KiB, event files %d bytes\n", db / 1024, wal / 1024, ev;
    }'
  grep -c '"event":"alarm"' "$work"/events.jsonl* | paste -sd' ' | sed 's/^/  alarm lines per file: /'
}

year() {
  echo "== a simulated year at the shipped bounds"
  "$build/bench/disk/qlt-disk-year" --work "$work" --config examples/kpl-host.json \
    --units "${UNITS:-1}" --days "${DAYS:-365}" --round-s "${ROUND_S:-1}"
  du -b "$work"/history.db* "$work"/events.jsonl* | sed 's/^/  /'
  rm -f "$work"/history.db* "$work"/events.jsonl*
}

flat() {
  local run=${FLAT_S:-3600}
  run_service 20 "$((run + 30))"
  echo "   sampled every minute for $run s"
  sleep 5
  printf '  %8s %10s %6s %8s %10s\n' minute rss_kib fds threads write_kb
  for ((m = 0; m * 60 <= run; m++)); do
    local rss fds threads w
    rss=$(awk '$1 == "VmRSS:" {print $2}' "/proc/$host/status")
    threads=$(awk '$1 == "Threads:" {print $2}' "/proc/$host/status")
    fds=$(ls "/proc/$host/fd" | wc -l)
    w=$(($(io_written "$host") / 1024))
    printf '  %8d %10d %6d %8d %10d\n' "$m" "$rss" "$fds" "$threads" "$w"
    [ $(((m + 1) * 60)) -le "$run" ] && sleep 60
  done
  wait "$host" || true
  grep -E "status:|history:" "$work/host.log" | tail -2 | sed 's/^/  /'
}

modes=("$@")
[ ${#modes[@]} -gt 0 ] || modes=(bytes year)
for m in "${modes[@]}"; do
  case $m in
    bytes | year | flat) "$m" ;;
    *) echo "disk: unknown part $m (bytes, year, flat)" >&2; exit 2 ;;
  esac
done
