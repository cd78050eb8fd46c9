#!/usr/bin/env bash
# Instruction counts (callgrind) of one reply, one complete pass, one round
# and one Init, per operation. Only the runs inside qlt_counted() are counted,
# after warm-up runs, so the figures repeat exactly from run to run whatever
# else the machine does.
#   tools/perf/callgrind.sh            all figures
#   KEEP=DIR tools/perf/callgrind.sh   also keep the callgrind files in DIR,
#                                      for callgrind_annotate
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(tools/perf/build.sh qlt-pass-count | tail -1)
repeat=${REPEAT:-100}
out=${KEEP:-$(mktemp -d)}
mkdir -p "$out"
[ -n "${KEEP:-}" ] || trap 'rm -rf "$out"' EXIT

# count WHAT UPS AC HOST
count() {
  local file="$out/callgrind.$1-$2ups-$3ac-$4"
  local line
  line=$(valgrind --tool=callgrind --collect-atstart=no --toggle-collect=qlt_counted \
    --callgrind-out-file="$file" "$build/bench/qlt-pass-count" "$1" --ups "$2" --ac "$3" \
    --host "$4" --repeat "$repeat" 2>/dev/null | tail -1)
  local total
  total=$(awk '/^summary:/ {print $2}' "$file")
  awk -v line="$line" -v total="$total" -v r="$repeat" -v what="$1" -v ups="$2" -v ac="$3" \
    -v host="$4" 'BEGIN {
      split(line, f, " "); allocs = f[6]; sub("allocs/op=", "", allocs); batches = f[7]
      sub("batches=", "", batches)
      printf "%-6s %3d %3d %8d  %-9s %12.0f %9s\n", what, ups, ac, batches, host, total / r, allocs
    }'
}

echo "instructions per operation (callgrind Ir), mean of $repeat operations after warm-up"
printf "%-6s %3s %3s %8s  %-9s %12s %9s\n" what ups ac batches host Ir/op allocs/op
count reply 1 0 none
count reply 1 1 none
count pass 1 0 none
count pass 1 1 none
count pass 4 4 none
count round 1 1 none
count round 4 4 none
count init 1 1 none
count init 4 4 none
count pass 1 0 reference
count pass 1 1 reference
count round 1 1 reference
count round 4 4 reference
