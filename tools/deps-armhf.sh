#!/usr/bin/env bash
# What the armhf cross build and its emulated test run need: the cross
# compiler, qemu-user and mmdebstrap from the machine's own architecture, and
# the armhf root of libraries (tools/armhf-sysroot.sh) that the build
# compiles against, the tests run in and the cross-built Debian packages take
# their dependencies from. No armhf package is installed on the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-missing.sh deps-armhf \
  cmake pkg-config dpkg-dev debhelper lintian \
  crossbuild-essential-armhf \
  qemu-user mmdebstrap
tools/armhf-sysroot.sh
