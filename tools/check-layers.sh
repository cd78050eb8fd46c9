#!/usr/bin/env bash
# Holds the layering of docs/architecture.md: every #include "..." of a
# project file must name a folder the including folder may use. Prints each
# include against the rules and exits 1 if there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder: the folders it may include besides itself ("-" for none).
rules=(
  "host/:-"
  "link/:host/"
  "points/:host/"
  "model/:host/ link/ points/"
  "plugin/:host/ model/"
  "apps/kpl-host/:host/ apps/kpl-host/core/ apps/kpl-host/storage/ apps/kpl-host/polling/ apps/kpl-host/outputs/ apps/kpl-host/mqtt/ apps/kpl-host/view/"
  "apps/kpl-host/core/:host/"
  "apps/kpl-host/storage/:host/ apps/kpl-host/core/"
  "apps/kpl-host/polling/:host/ apps/kpl-host/core/"
  "apps/kpl-host/outputs/:host/ apps/kpl-host/core/"
  "apps/kpl-host/mqtt/:host/ apps/kpl-host/core/ apps/kpl-host/storage/"
  "apps/kpl-host/view/:host/ apps/kpl-host/core/"
  "apps/qlt-unit-sim/:-"
  "testkit/:host/ link/ model/ points/ plugin/ apps/"
  "tests/:host/ link/ model/ points/ plugin/ apps/ testkit/"
  "bench/:host/ link/ model/ points/ plugin/ apps/ testkit/"
  "fuzz/:host/ link/ model/ points/ testkit/"
)

status=0
while IFS= read -r file; do
  folder=""
  allowed=""
  for rule in "${rules[@]}"; do
    prefix=${rule%%:*}
    if [[ $file == "$prefix"* ]] && [ ${#prefix} -gt ${#folder} ]; then
      folder=$prefix
      allowed=${rule#*:}
    fi
  done
  if [ -z "$folder" ]; then
    echo "$file: C++ outside the folders of docs/architecture.md" >&2
    status=1
    continue
  fi
  while IFS=: read -r line target; do
    ok=0
    [[ $target == "$folder"* ]] && ok=1
    for a in $allowed; do
      [ "$a" != "-" ] && [[ $target == "$a"* ]] && ok=1
    done
    # A name without a folder is a system or library header.
    [[ $target != */* ]] && ok=1
    for lib in boost/ json/ gtest/ gmock/ benchmark/ sys/ arpa/ netinet/ modbus/; do
      [[ $target == "$lib"* ]] && ok=1
    done
    if [ $ok = 0 ]; then
      echo "$file:$line: includes $target, which $folder may not use" >&2
      status=1
    fi
  done < <(grep -n '^#include "' "$file" | sed -E 's/^([0-9]+):#include "([^"]+)".*/\1:\2/')
done < <(git ls-files '*.h' '*.cpp' '*.hpp' '*.cc')

# Within the reference host, the libraries each room alone may use: a header
# of one of them anywhere else in apps/kpl-host is against the rules.
# header prefix: the folder that may include it.
libraries=(
  "sqlite3.h:apps/kpl-host/storage/"
  "mosquitto.h:apps/kpl-host/mqtt/"
  "boost/beast:apps/kpl-host/view/"
  "systemd/:apps/kpl-host/service_notify"
  "dlfcn.h:apps/kpl-host/plugin_library"
)
while IFS=: read -r file line target; do
  for rule in "${libraries[@]}"; do
    header=${rule%%:*}
    owner=${rule#*:}
    if [[ $target == "$header"* ]] && [[ $file != "$owner"* ]]; then
      echo "$file:$line: includes <$target>, which only $owner may use" >&2
      status=1
    fi
  done
done < <(git grep -n '^#include <' -- 'apps/kpl-host/*.h' 'apps/kpl-host/*.cpp' |
  sed -E 's/^([^:]+):([0-9]+):#include <([^>]+)>.*/\1:\2:\3/')

[ $status = 0 ] && echo "layers: every include keeps to docs/architecture.md"
exit $status
