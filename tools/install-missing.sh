#!/usr/bin/env bash
# install-missing.sh WHO PACKAGE...
# Installs those of the Debian packages that are not installed yet, and only
# those, so a prepared machine costs a few dpkg look-ups. A name without an
# architecture means the machine's own (or an architecture-independent
# package); "name:armhf" means that architecture, which is enabled first.
set -euo pipefail
who=$1
shift

native=$(dpkg --print-architecture)
installed() {
  local name=${1%%:*} want=$native
  [ "$name" != "$1" ] && want=${1#*:}
  dpkg-query -W -f='${Architecture} ${Status}\n' "$name" 2>/dev/null |
    grep -Eq "^($want|all) install ok installed$"
}

missing=()
for p in "$@"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "$who: all $# packages present"
  exit 0
fi

echo "$who: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
for p in "${missing[@]}"; do
  arch=${p#*:}
  if [ "$arch" != "$p" ] && [ "$arch" != "$native" ] &&
     ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    $SUDO dpkg --add-architecture "$arch"
  fi
done
# Every try updates the indexes and installs; a try whose install fails is made
# again after a wait (tools/retry.sh), and the last failure is said in one
# line with apt's reason.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
update_and_install() {
  # An index that stays inconsistent need not stop the install: what is to
  # be installed may well come from the others.
  $SUDO apt-get update -qq >"$log" 2>&1
  $SUDO apt-get install -y -qq --no-install-recommends "$@" >>"$log" 2>&1 && return 0
  grep -m3 '^E: ' "$log" | cut -c1-200 >&2
  return 1
}
export -f update_and_install
export SUDO log DEBIAN_FRONTEND
if ! "$(dirname "$0")/retry.sh" update_and_install "${missing[@]}"; then
  why=$(grep '^E: ' "$log" | tail -1 | cut -c4-300)
  echo "$who: cannot install ${missing[*]}: ${why:-see the output of apt-get above}" >&2
  exit 1
fi
echo "$who: done"
