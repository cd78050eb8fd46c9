#!/usr/bin/env bash
# Builds the Debian packages (debian/: libkplhost0, libkplhost-dev, qltmodel,
# kpl-host) for the machine's architecture or the one given (armhf: cross
# built), from the files git tracks, in build/pkg/<arch>/, and checks every
# package with lintian: no error and no warning passes.
#   tools/package.sh [ARCH]
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(dpkg --print-architecture)
arch=${1:-$native}
out=build/pkg/$arch
rm -rf "$out"
mkdir -p "$out/src"
git ls-files -z | tar --null -T - -c | tar -x -C "$out/src"

echo "== Debian packages for $arch"
cd "$out/src"
if [ "$arch" = "$native" ]; then
  DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -B -us -uc >../build.log 2>&1 ||
    { tail -40 ../build.log >&2; exit 1; }
else
  # Cross built against the armhf root (tools/armhf-sysroot.sh); the build
  # dependencies are in that root, not installed for armhf, so dpkg's check
  # of them (-d) cannot see them.
  QLT_ARMHF_SYSROOT=${QLT_ARMHF_SYSROOT:-$(cd ../../.. && pwd)/armhf-sysroot} \
    DEB_BUILD_OPTIONS=nocheck DEB_BUILD_PROFILES="cross nocheck" \
    dpkg-buildpackage -a"$arch" -d -B -us -uc >../build.log 2>&1 ||
    { tail -40 ../build.log >&2; exit 1; }
fi
cd ..
ls -1 ./*.deb
echo "== lintian"
lintian --fail-on error,warning --display-info \
  ./*.deb
echo "lintian: no error or warning in $(ls ./*.deb | wc -l) packages"
