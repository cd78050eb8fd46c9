#!/usr/bin/env bash
# Builds the measurement programs (Release) in build/perf, or in
# $QLT_PERF_BUILD, and prints that directory on the last line.
#   tools/perf/build.sh [TARGET...]
# Until the top-level CMakeLists.txt adds bench/, the build is configured
# from a shim source tree in build/perf-src: links to the repository's
# folders and a copy of the top-level CMakeLists.txt with that one line added.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${QLT_PERF_BUILD:-$root/build/perf}

"$root/tools/deps-bench.sh" >&2

src=$root
if ! grep -q '^add_subdirectory(bench)' "$root/CMakeLists.txt"; then
  src=$root/build/perf-src
  mkdir -p "$src"
  for entry in "$root"/* "$root"/.clang-format; do
    name=$(basename "$entry")
    case $name in build | CMakeLists.txt) continue ;; esac
    ln -sfn "$entry" "$src/$name"
  done
  { cat "$root/CMakeLists.txt"; echo 'add_subdirectory(bench)'; } > "$src/CMakeLists.txt.new"
  cmp -s "$src/CMakeLists.txt.new" "$src/CMakeLists.txt" 2>/dev/null ||
    mv "$src/CMakeLists.txt.new" "$src/CMakeLists.txt"
  rm -f "$src/CMakeLists.txt.new"
fi

# A cache made from the other source tree cannot be reused.
if [ -f "$build/CMakeCache.txt" ] &&
  ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$src" "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQLT_TESTS=OFF >&2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(qlt-micro-bench qlt-pass-count qlt-pass-latency qlt-scale
  kpl-host qltmodel qlt-unit-sim)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >&2
echo "$build"
