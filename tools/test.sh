#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs the whole
# test suite; then builds again under ThreadSanitizer and runs it there too.
# QLT_TSAN=0 skips the second run.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
jobs=$(nproc)

echo "== test suite (warnings as errors)"
cmake --preset ci
cmake --build --preset ci -j"$jobs"
ctest --preset ci -j"$jobs"

if [ "${QLT_TSAN:-1}" != 0 ]; then
  echo "== test suite under ThreadSanitizer"
  cmake --preset tsan
  cmake --build --preset tsan -j"$jobs"
  ctest --preset tsan -j"$jobs"
fi
