#!/usr/bin/env bash
# Builds the measurement programs (Release) in build/perf, or in
# $QLT_PERF_BUILD, and prints that directory on the last line.
#   tools/perf/build.sh [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${QLT_PERF_BUILD:-$root/build/perf}

"$root/tools/deps-bench.sh" >&2

src=$root

# A cache made from the other source tree cannot be reused.
if [ -f "$build/CMakeCache.txt" ] &&
  ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$src" "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQLT_TESTS=OFF >&2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(qlt-micro-bench qlt-pass-count qlt-pass-latency qlt-scale
  qlt-scale-floor qlt-fleet kpl-host qltmodel qlt-unit-sim)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >&2
echo "$build"
