#!/usr/bin/env bash
# Micro benchmarks (Google Benchmark): one reply, one pass, one round against
# the do-nothing host (and against hosts that keep records, or run the
# reference host's rules), and Init; time and heap allocations per operation.
# Each is repeated and the median reported, as this machine is shared.
#   tools/perf/micro.sh [benchmark options, e.g. --benchmark_filter=Round]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(tools/perf/build.sh qlt-micro-bench | tail -1)
"$build/bench/qlt-micro-bench" --benchmark_repetitions="${REPETITIONS:-5}" \
  --benchmark_report_aggregates_only=true --benchmark_display_aggregates_only=true \
  --benchmark_min_time="${MIN_TIME:-0.3}" "$@" 2>&1 | grep -v -- '_mean\|_stddev\|_cv'
