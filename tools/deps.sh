#!/usr/bin/env bash
# Installs the Debian packages the build needs, and only those that are missing,
# so running it again on a prepared machine costs a few dpkg look-ups.
set -euo pipefail

packages=(
  cmake g++ pkg-config
  libboost-dev libboost-date-time-dev
  libjsoncpp-dev
  libsqlite3-dev
  libgtest-dev libgmock-dev
  libbenchmark-dev
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "deps: done"
