#!/usr/bin/env bash
# The controller's build: installs what is missing, cross compiles for armhf
# with warnings as errors, runs the whole test suite under qemu-arm, then
# builds the Debian packages, checks them with lintian and runs them unpacked
# under qemu-arm.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps-armhf.sh
jobs=$(nproc)

echo "== armhf build (warnings as errors)"
cmake --preset armhf
cmake --build --preset armhf -j"$jobs"

echo "== test suite under qemu-arm"
ctest --preset armhf -j"$jobs"

tools/package.sh armhf
tools/install-check.sh armhf
