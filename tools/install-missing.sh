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
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "$who: done"
