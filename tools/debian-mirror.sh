#!/usr/bin/env bash
# Prints the machine's own Debian mirror, as its package sources name it
# (deb.debian.org when they name none), for the private apt runs of the
# old-ABI build and the armhf sysroot.
set -euo pipefail
mirror=$(awk '/^URIs:/ && $2 ~ /\/debian\/?$/ {print $2; exit}' \
  /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
if [ -z "$mirror" ]; then
  mirror=$(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /^https?:/) {print $i; exit}}' \
    /etc/apt/sources.list 2>/dev/null || true)
fi
echo "${mirror:-http://deb.debian.org/debian}"
