#!/usr/bin/env bash
# Installs the Debian packages the performance measurements need beyond the
# build's own (tools/deps.sh), and only those that are missing: Google
# Benchmark for the micro benchmarks, valgrind for instruction counts and
# libmodbus for the comparison client.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh

packages=(
  libbenchmark-dev
  valgrind
  libmodbus-dev
  procps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps-bench: all ${#packages[@]} packages present"
  exit 0
fi

echo "deps-bench: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "deps-bench: done"
