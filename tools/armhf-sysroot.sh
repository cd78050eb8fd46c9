#!/usr/bin/env bash
# The armhf root the controller's build compiles against and its tests run in
# (qemu-arm -L): the armhf libraries and headers the build needs, unpacked by
# mmdebstrap from the release suite of Debian's archive alone. Nothing armhf is
# installed on the machine, so the build depends neither on the machine's own
# package versions nor on the state of the security or updates indexes.
# Made once; made again when it lacks a package asked for, or the suite or
# the mirror changes.
#   tools/armhf-sysroot.sh [PACKAGE...]   (more armhf packages, such as the
#                                          benchmarks' libbenchmark-dev)
#   QLT_ARMHF_SYSROOT: where; build/armhf-sysroot
set -euo pipefail
cd "$(dirname "$0")/.."
root=${QLT_ARMHF_SYSROOT:-$PWD/build/armhf-sysroot}
packages=(libc6-dev libstdc++-12-dev
  libboost-dev libboost-date-time-dev libjsoncpp-dev libsqlite3-dev
  libmosquitto-dev libsystemd-dev libssl-dev libcrypt-dev libgtest-dev libgmock-dev "$@")
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=$(tools/debian-mirror.sh)
# .made-from: the suite, the mirror and the packages of the root as it is.
if [ -f "$root/.made-from" ]; then
  read -r -a had <"$root/.made-from"
  if [ "${had[0]}" = "$suite" ] && [ "${had[1]}" = "$mirror" ]; then
    lacking=0
    for p in "${packages[@]}"; do
      [[ " ${had[*]:2} " == *" $p "* ]] || lacking=1
    done
    [ "$lacking" = 0 ] && { echo "armhf sysroot: $root is current"; exit 0; }
    # What the root had stays in it.
    packages+=("${had[@]:2}")
  fi
fi
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | sort -u)
made_from="$suite $mirror ${packages[*]}"

echo "== armhf sysroot from $mirror $suite"
new=$root.new
log=$root.log
mkdir -p "$(dirname "$root")"
delay=10
for attempt in 1 2 3 4 5; do
  rm -rf "$new"
  # The downloaded packages are kept: their control files make the package
  # database below.
  if mmdebstrap --variant=extract --architectures=armhf \
      --include="$(IFS=,; echo "${packages[*]}")" --skip=cleanup/apt/cache \
      "$suite" "$new" "$mirror" >"$log" 2>&1; then
    break
  fi
  if [ "$attempt" -eq 5 ]; then
    # mmdebstrap says which package could not be had and why on its E: line.
    why=$(grep -m1 -E '^(E|W): ' "$log" | cut -c1-300 || true)
    echo "armhf sysroot: cannot get the armhf packages from $mirror $suite: ${why:-see $log}" >&2
    exit 1
  fi
  echo "armhf sysroot: attempt $attempt failed ($(grep -m1 '^E: ' "$log" | cut -c1-160 || true)); again in ${delay} s"
  sleep "$delay"
  delay=$((delay * 2))
done

# A package database for dpkg-shlibdeps (the cross-built Debian packages
# take their Depends from it): each package as installed, its symbols and
# shlibs files, and its file list. dpkg-shlibdeps looks the libraries up by
# their path inside this root, so the lists carry the root's own path.
admin=$new/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
: >"$admin/status"
printf 'armhf\n' >"$admin/arch"
# Multiarch names in info/ (libc6:armhf.list), as dpkg itself writes them.
echo 1 >"$admin/info/format"
control=$(mktemp -d)
for deb in "$new"/var/cache/apt/archives/*.deb; do
  name=$(dpkg-deb -f "$deb" Package)
  [ "$(dpkg-deb -f "$deb" Multi-Arch)" = same ] && name=$name:armhf
  rm -rf "$control" && mkdir -p "$control"
  dpkg-deb -e "$deb" "$control"
  for f in shlibs symbols; do
    [ -f "$control/$f" ] && cp "$control/$f" "$admin/info/$name.$f"
  done
  dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./||' -e 's|/$||' |
    awk -v root="$root" 'NF { print root "/" $0 }' >"$admin/info/$name.list"
  { dpkg-deb -f "$deb" | sed '/^Package:/a Status: install ok installed'; echo; } >>"$admin/status"
done
rm -rf "$control" "$new"/var/cache/apt/archives/*.deb
echo "$made_from" >"$new/.made-from"
rm -rf "$root"
mv "$new" "$root"
echo "armhf sysroot: $(du -sh "$root" | cut -f1) in $root"
