#!/usr/bin/env bash
# What the armhf cross build and its emulated test run need: the cross
# compiler, qemu-user, and the armhf development packages of the libraries
# the native build uses; the armhf pkg-config and debhelper for the cross-built
# Debian packages.
set -euo pipefail
exec "$(dirname "$0")/install-missing.sh" deps-armhf \
  cmake pkg-config dpkg-dev debhelper lintian \
  pkg-config:armhf \
  crossbuild-essential-armhf \
  qemu-user \
  libboost-dev:armhf libboost-date-time-dev:armhf \
  libjsoncpp-dev:armhf \
  libsqlite3-dev:armhf \
  libmosquitto-dev:armhf libsystemd-dev:armhf \
  libgtest-dev:armhf libgmock-dev:armhf
