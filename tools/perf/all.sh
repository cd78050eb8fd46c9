#!/usr/bin/env bash
# Every measurement in turn, as docs/performance.md reports them: the
# machine, micro benchmarks, instruction counts, pass latency and scale.
# Takes about ten minutes; the machine should be otherwise idle.
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/perf/build.sh > /dev/null
for step in machine micro callgrind latency scale; do
  echo "######## tools/perf/$step.sh"
  "tools/perf/$step.sh"
  echo
done
