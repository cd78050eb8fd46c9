#!/usr/bin/env bash
# What the performance measurements need beyond the native build's own
# packages (tools/deps.sh): valgrind for instruction counts, libmodbus for the
# comparison client, linux-perf for the profile, procps and util-linux for the
# scripts. With ARMHF=1 also the armhf development packages of Google Benchmark
# and libmodbus in the armhf root, for the measurement programs in the cross
# build.
set -euo pipefail
here=$(dirname "$0")
"$here/deps.sh"
packages=(valgrind libmodbus-dev linux-perf procps util-linux)
"$here/install-missing.sh" deps-bench "${packages[@]}"
if [ "${ARMHF:-0}" != 0 ]; then
  "$here/deps-armhf.sh"
  "$here/armhf-sysroot.sh" libbenchmark-dev libmodbus-dev
fi
