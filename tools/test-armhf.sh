#!/usr/bin/env bash
# The controller's build: installs what is missing, cross compiles for armhf
# with warnings as errors, runs the whole test suite under qemu-arm, then
# builds the Debian package and shows what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps-armhf.sh
jobs=$(nproc)
build=build/armhf

echo "== armhf build (warnings as errors)"
cmake --preset armhf
cmake --build --preset armhf -j"$jobs"

echo "== test suite under qemu-arm"
ctest --preset armhf -j"$jobs"

echo "== Debian package"
rm -f "$build"/qltmodel_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/qltmodel_*_armhf.deb)
[ "$(dpkg-deb --field "$deb" Architecture)" = armhf ] || { echo "$deb: not armhf" >&2; exit 1; }
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
