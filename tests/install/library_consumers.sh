#!/usr/bin/env bash
# Programs built the way a user of the installed library builds them: a C99
# encoder with `pkg-config --cflags --libs g729a` and a CMake project with
# find_package(g729a) (decoders on the shared and the static library). Their
# frames and samples must equal the g729a tool's for the same input, and a
# stream with lost frames must decode to its full length.
# Usage: library_consumers.sh WORK_DIR INPUT.raw TOOL [PREFIX]
#   PREFIX: where the library is installed, when not in the system's paths.
set -euo pipefail
work=$1
input=$2
tool=$3
prefix=${4:-}
sources=$(cd "$(dirname "$0")/consumer" && pwd)
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
if [ -n "$prefix" ]; then
  pc=$(find "$prefix" -name g729a.pc -path '*/pkgconfig/*')
  [ -n "$pc" ] || fail "no g729a.pc under $prefix"
  export PKG_CONFIG_PATH=${pc%/*}
  export CMAKE_PREFIX_PATH=$prefix
  export LD_LIBRARY_PATH=${PKG_CONFIG_PATH%/pkgconfig}
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work"

pkg-config --exists --print-errors g729a
[ "$(pkg-config --modversion g729a)" = "$("$tool" --version | sed -n 's/^g729a tool //p')" ] ||
  fail "pkg-config says version $(pkg-config --modversion g729a)"
# shellcheck disable=SC2046  # the flags are separate words
cc -std=c99 -pedantic -Wall -Wextra -Werror -o encode "$sources/encode.c" \
  $(pkg-config --cflags --libs g729a)
cmake -S "$sources" -B cmake-build >/dev/null
cmake --build cmake-build >cmake-build.log 2>&1 || { cat cmake-build.log; fail "CMake project"; }

# Whole frames (the tool pads a partial last one), named so that the tool
# takes them as headerless PCM.
frames=$(($(stat -c %s "$input") / 160))
head -c $((frames * 160)) "$input" >input.raw
[ "$frames" -gt 100 ] || fail "input too short: $input"
"$tool" -q encode input.raw tool.g729
"$tool" -q decode tool.g729 tool.raw
./encode <input.raw >program.g729
cmp tool.g729 program.g729 || fail "pkg-config program: frames differ from the tool's"
for kind in shared static; do
  "cmake-build/decode_$kind" <tool.g729 >"$kind.raw"
  cmp tool.raw "$kind.raw" || fail "CMake program ($kind): samples differ from the tool's"
  # Every fifth frame lost: concealed, the same length, not the same samples.
  "cmake-build/decode_$kind" 5 <tool.g729 >"$kind-lossy.raw"
  [ "$(stat -c %s "$kind-lossy.raw")" = "$((frames * 160))" ] || fail "lossy decode length"
  if cmp -s tool.raw "$kind-lossy.raw"; then fail "lost frames were decoded as received"; fi
done
cd /
rm -rf "$work"
echo "library consumers: ok ($frames frames through pkg-config and find_package programs)"
