#!/usr/bin/env bash
# Checks the packages tools/package.sh built, without installing them: unpacks
# every package into a throwaway root and checks the files, the soname links,
# the conffile and the service unit there, then runs the unpacked kpl-host
# against the unpacked simulated unit for a few rounds (under qemu-arm for
# armhf packages). The machine's own package database is never touched.
#   tools/install-check.sh [ARCH]
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(dpkg --print-architecture)
arch=${1:-$native}
pkgs=$PWD/build/pkg/$arch
triplet=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
root=$pkgs/root
rm -rf "$root" && mkdir -p "$root"
trap 'kill "${sim_pid:-}" 2>/dev/null || true' EXIT

fail() { echo "install check ($arch): $*" >&2; exit 1; }
step() { echo "== $*"; }

step "unpacking the $arch packages into $root"
for name in libkplhost0 libkplhost-dev qltmodel kpl-host; do
  deb=$pkgs/${name}_${version}_${arch}.deb
  [ -f "$deb" ] || fail "$deb is missing (tools/package.sh $arch builds it)"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$deb: not $arch"
  dpkg-deb -x "$deb" "$root"
done

step "files"
lib=usr/lib/$triplet
for f in usr/bin/kpl-host usr/bin/qlt-unit-sim "$lib/libkplhost.so.$version" \
         "$lib/kpl/plugins/qltmodel.so" "$lib/pkgconfig/kplhost.pc" \
         usr/include/kplhost/host/kpl_vdevice.h etc/kpl-host/host.json etc/logrotate.d/kpl-host \
         lib/systemd/system/kpl-host.service usr/lib/sysusers.d/kpl-host.conf \
         usr/share/man/man8/kpl-host.8.gz usr/share/man/man5/kpl-host.json.5.gz \
         usr/share/man/man1/qlt-unit-sim.1.gz usr/share/doc/kpl-host/operating.md.gz \
         usr/share/doc/kpl-host/copyright; do
  [ -e "$root/$f" ] || fail "/$f is missing"
done
# Nothing outside the folders the file system hierarchy gives packages.
stray=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name etc ! -name lib ! -name usr)
[ -z "$stray" ] || fail "files outside /etc, /lib and /usr: $stray"
for conffile in /etc/kpl-host/host.json /etc/logrotate.d/kpl-host; do
  dpkg-deb -I "$pkgs/kpl-host_${version}_${arch}.deb" conffiles | grep -qx "$conffile" ||
    fail "$conffile is not a conffile"
done

step "soname links"
[ "$(readlink "$root/$lib/libkplhost.so")" = libkplhost.so.0 ] ||
  fail "libkplhost.so does not point to libkplhost.so.0"
[ "$(readlink "$root/$lib/libkplhost.so.0")" = "libkplhost.so.$version" ] ||
  fail "libkplhost.so.0 does not point to libkplhost.so.$version"
soname() { readelf -d "$1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p'; }
needs() { readelf -d "$1" | grep -q "(NEEDED).*\[$2\]"; }
[ "$(soname "$root/$lib/libkplhost.so.$version")" = libkplhost.so.0 ] || fail "soname is not libkplhost.so.0"
needs "$root/usr/bin/kpl-host" libkplhost.so.0 || fail "kpl-host does not need libkplhost.so.0"
needs "$root/$lib/kpl/plugins/qltmodel.so" libkplhost.so.0 || fail "qltmodel.so does not need libkplhost.so.0"
# A plug-in named without a path is looked for where the package puts it.
grep -aq "/$lib/kpl/plugins" "$root/usr/bin/kpl-host" || fail "kpl-host looks for plug-ins elsewhere"
echo "libkplhost.so -> libkplhost.so.0 -> libkplhost.so.$version; soname and NEEDED agree"

step "service unit"
# systemd-analyze reads the unit and the units it names from the root, so the
# machine's own units go in beside it.
mkdir -p "$root/lib/systemd/system"
cp -rn /lib/systemd/system/. "$root/lib/systemd/system/"
systemd-analyze verify --man=no --root="$root" kpl-host.service || fail "systemd-analyze verify"
# Exposure 0.0 (locked down) to 10.0 (unprotected): 2.0 or less passes.
systemd-analyze security --offline=yes --root="$root" --threshold=20 kpl-host.service |
  tail -1 || fail "systemd-analyze security: exposure above 2.0"

step "running the unpacked kpl-host against the unpacked simulated unit"
run=()
guest_env=(LD_LIBRARY_PATH="$root/$lib")
if [ "$arch" != "$native" ]; then
  # Under user-mode emulation in the armhf root the build used
  # (tools/armhf-sysroot.sh); the library path is the guest's alone.
  run=(qemu-arm -L "${QLT_ARMHF_SYSROOT:-$PWD/build/armhf-sysroot}" -E "${guest_env[0]}")
  guest_env=()
fi
work=$pkgs/run && rm -rf "$work" && mkdir -p "$work"
cp examples/demo.json examples/scenario.json "$work/"
env "${guest_env[@]}" "${run[@]}" "$root/usr/bin/qlt-unit-sim" --config "$work/demo.json" \
  --ports-file "$work/ports" --duration-s 120 --quiet &
sim_pid=$!
for _ in $(seq 300); do [ -s "$work/ports" ] && break; sleep 0.1; done
[ -s "$work/ports" ] || fail "the simulated unit did not start"
port=$(awk '$1 == 7 {print $2}' "$work/ports")
sed "s/\"port\": 0/\"port\": $port/" "$work/demo.json" >"$work/host.json"
rounds=5
timeout 120 env "${guest_env[@]}" "${run[@]}" "$root/usr/bin/kpl-host" \
  --plugin "$root/$lib/kpl/plugins/qltmodel.so" --config "$work/host.json" \
  --rounds "$rounds" --history "$work/history.db" --events "$work/events.jsonl" --events-trace \
  --quiet ||
  fail "kpl-host ended with status $?"
published=$(grep -c '"event":"publish"' "$work/events.jsonl" || true)
[ "$published" -ge "$rounds" ] || fail "$published images published in $rounds rounds"
echo "run: $published images published in $rounds rounds"

# The shipped configuration loads: no device, the host idles until stopped.
timeout 60 env "${guest_env[@]}" "${run[@]}" "$root/usr/bin/kpl-host" \
  --plugin "$root/$lib/kpl/plugins/qltmodel.so" --config "$root/etc/kpl-host/host.json" \
  --duration-s 1 --history "$work/idle.db" >"$work/idle.log" 2>&1 ||
  { cat "$work/idle.log" >&2; fail "kpl-host does not run on the shipped configuration"; }
grep "no devices" "$work/idle.log" || fail "kpl-host does not say it idles"
echo "install check ($arch): passed"
