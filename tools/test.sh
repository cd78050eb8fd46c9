#!/usr/bin/env bash
# The whole test suite: installs what is missing, checks the layering of
# docs/architecture.md and the formatting, builds with warnings as errors and
# runs every test; builds the plug-in and its tests with the old string ABI
# and runs them; builds the Debian packages, checks them with lintian and runs
# them unpacked; then runs the suite again under
# ThreadSanitizer and under AddressSanitizer with UndefinedBehaviorSanitizer,
# gives each fuzzer a short run on its seed corpus, and last builds for the
# controller (armhf), runs the suite under qemu-arm and builds and checks
# its packages the same way.
#   QLT_SANITIZERS=0  skips the sanitizer runs
#   QLT_FUZZ_SECONDS  seconds per fuzzer (default 20; 0 skips)
#   QLT_ARMHF=0       skips the armhf build
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
jobs=$(nproc)

echo "== layering and formatting"
tools/check-layers.sh
tools/check-format.sh

suite() {
  echo "== test suite: $1"
  cmake --preset "$1"
  cmake --build --preset "$1" -j"$jobs"
  ctest --preset "$1" -j"$jobs"
}

suite ci
tools/test-old-abi.sh
tools/package.sh
tools/install-check.sh
if [ "${QLT_SANITIZERS:-1}" != 0 ]; then
  suite tsan
  suite asan
fi
if [ "${QLT_FUZZ_SECONDS:-20}" != 0 ]; then
  FUZZ_SECONDS=${QLT_FUZZ_SECONDS:-20} tools/fuzz.sh
  if ls build/fuzz/findings/* >/dev/null 2>&1; then
    echo "fuzzing found inputs that break the device: build/fuzz/findings" >&2
    exit 1
  fi
fi
if [ "${QLT_ARMHF:-1}" != 0 ]; then
  tools/test-armhf.sh
fi
