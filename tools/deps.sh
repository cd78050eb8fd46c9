#!/usr/bin/env bash
# The Debian packages the native build, its tests, the fuzzers and the Debian
# packaging need (googletest: its source, built in the old string ABI), then
# what drives the browser in the page's acceptance test (tools/deps-browser.sh).
set -euo pipefail
"$(dirname "$0")/install-missing.sh" deps \
  cmake g++ pkg-config \
  libboost-dev libboost-date-time-dev \
  libjsoncpp-dev \
  libsqlite3-dev sqlite3 \
  libssl-dev libcrypt-dev \
  libmosquitto-dev mosquitto openssl \
  iproute2 nftables logrotate \
  libsystemd-dev systemd \
  debhelper lintian dpkg-dev \
  prometheus chromium fonts-wqy-microhei \
  libgtest-dev libgmock-dev googletest \
  libbenchmark-dev \
  clang-14 libclang-rt-14-dev clang-format-14
"$(dirname "$0")/deps-browser.sh"
