#!/usr/bin/env bash
# Builds the fuzzers (clang, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each for a while on a copy of its seed corpus.
#   tools/fuzz.sh            60 s each
#   FUZZ_SECONDS=3600 tools/fuzz.sh
# Findings are left as crash-* files in build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}

tools/deps.sh
cmake --preset fuzz
cmake --build --preset fuzz -j"$(nproc)" --target receive_path_fuzz init_fuzz

out=build/fuzz/findings
rm -rf "$out"
mkdir -p "$out"
status=0
for target in receive_path init; do
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  echo "== ${target}_fuzz for ${seconds} s"
  log=build/fuzz/${target}.log
  rc=0
  build/fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$out/${target}-" "$corpus" > "$log" 2>&1 || rc=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|SUMMARY|Done)|ERROR' "$log" || true
  if [ "$rc" != 0 ]; then
    echo "${target}_fuzz failed (status $rc); see $log and $out" >&2
    status=1
  fi
done
exit "$status"
