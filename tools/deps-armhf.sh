#!/usr/bin/env bash
# Installs what the armhf cross build and its emulated test run need, and only
# what is missing: the cross compiler, qemu-user, and the armhf development
# packages of the libraries the native build uses. Running it again on a
# prepared machine costs a few dpkg look-ups.
set -euo pipefail

packages=(
  cmake pkg-config dpkg-dev
  crossbuild-essential-armhf
  qemu-user
  libboost-dev:armhf libboost-date-time-dev:armhf
  libjsoncpp-dev:armhf
  libsqlite3-dev:armhf
  libgtest-dev:armhf libgmock-dev:armhf
)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps-armhf: all ${#packages[@]} packages present"
  exit 0
fi

echo "deps-armhf: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  $SUDO dpkg --add-architecture armhf
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "deps-armhf: done"
