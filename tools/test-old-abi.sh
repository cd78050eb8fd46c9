#!/usr/bin/env bash
# The plug-in, the contract library and their tests built with the old
# libstdc++ string ABI (_GLIBCXX_USE_CXX11_ABI=0), as for a host built that
# way. jsoncpp's interface carries std::string, so it is built from its
# Debian source in the same ABI: the source comes from Debian's archive
# through a private apt state under build/old-abi/, leaving the machine's own
# package lists alone.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
root=$here/build/old-abi
src=$root/jsoncpp

if [ ! -f "$src/src/lib_json/json_value.cpp" ]; then
  echo "== jsoncpp source from Debian's archive"
  apt=$root/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$apt/get"
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "deb-src $(tools/debian-mirror.sh) $codename main" >"$apt/sources.list"
  opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
        -o "Dir::State=$apt" -o "Dir::Cache=$apt/cache" -o Debug::NoLocking=1 -o APT::Sandbox::User=root -q)
  tools/retry.sh apt-get "${opts[@]}" update >/dev/null
  (cd "$apt/get" && "$here"/tools/retry.sh apt-get "${opts[@]}" source --download-only libjsoncpp >/dev/null)
  orig=$(ls "$apt"/get/libjsoncpp_*.orig.tar.*)
  rm -rf "$src" && mkdir -p "$src"
  tar -xf "$orig" -C "$src" --strip-components=1
fi

echo "== test suite: old string ABI"
cmake --preset old-abi
cmake --build --preset old-abi -j"$(nproc)"
ctest --preset old-abi -j"$(nproc)"
# The plug-in must name std::string by its old mangling only.
so=$root/build/qltmodel.so
if nm -D "$so" | grep -q __cxx11; then
  echo "$so: still uses the new string ABI" >&2
  exit 1
fi
echo "old ABI: qltmodel.so names no __cxx11 symbol;" \
  "$(nm -D --undefined-only "$so" | c++filt | grep -cE 'std::string|std::basic_string<char') of the symbols it takes from outside carry the old std::string"
