#!/usr/bin/env bash
# retry.sh COMMAND...: runs COMMAND until it succeeds, five times at most,
# waiting 10, 20, 40 and 80 s between tries: Debian's archive is briefly
# inconsistent while a mirror syncs ("File has unexpected size ... Mirror
# sync in progress?"), and a few minutes later it is whole again. Its output
# goes to standard error; the status is the last try's.
set -uo pipefail
delay=10
for attempt in 1 2 3 4 5; do
  "$@" && exit 0
  status=$?
  [ "$attempt" -eq 5 ] && exit "$status"
  echo "retry: '$*' failed (status $status), try $((attempt + 1)) of 5 in ${delay} s" >&2
  sleep "$delay"
  delay=$((delay * 2))
done
