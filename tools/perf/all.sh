#!/usr/bin/env bash
# Every measurement in turn, as docs/performance.md reports them: the
# machine, micro benchmarks, instruction counts, pass latency, scale in all
# three placements, and the profile. Takes about ten minutes; the machine
# should be otherwise idle.
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/perf/build.sh > /dev/null
step() {
  echo "######## $*"
  "$@"
  echo
}
step tools/perf/machine.sh
step tools/perf/micro.sh
step tools/perf/callgrind.sh
step tools/perf/latency.sh
step tools/perf/scale.sh
step env PLACEMENTS="apart together" tools/perf/scale.sh 1000
step tools/perf/profile.sh
