#!/usr/bin/env bash
# Programs built the way a user of the installed library builds them: the
# C99 program consumer/codec.c with `pkg-config --cflags --libs g729a`, and
# with find_package(g729a) on the shared and the static library. Their
# frames and samples equal the g729a tool's for the same input, and with
# lost frames they decode to the full length, concealed.
# Usage: library_consumers.sh WORK_DIR INPUT.raw TOOL [PREFIX]
#   PREFIX: where the library is installed, when not in the system's paths.
set -euo pipefail
work=$1
tool=$3
sources=$(cd "$(dirname "$0")/consumer" && pwd)
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
if [ -n "${4:-}" ]; then
  pc=$(find "$4" -name g729a.pc -path '*/pkgconfig/*')
  [ -n "$pc" ] || fail "no g729a.pc under $4"
  export PKG_CONFIG_PATH=${pc%/*} CMAKE_PREFIX_PATH=$4 LD_LIBRARY_PATH=${pc%/pkgconfig/*}
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work"

[ "$(pkg-config --modversion g729a)" = "$("$tool" --version | sed -n 's/^g729a tool //p')" ] ||
  fail "pkg-config says version $(pkg-config --modversion g729a)"
# shellcheck disable=SC2046  # the flags are separate words
cc -std=c99 -pedantic -Wall -Wextra -Werror -o codec "$sources/codec.c" \
  $(pkg-config --cflags --libs g729a)
cmake -S "$sources" -B cmake-build >/dev/null
cmake --build cmake-build >cmake-build.log 2>&1 || { cat cmake-build.log; fail "CMake project"; }

# Whole frames (the tool pads a partial last one), named so that the tool
# takes them as headerless PCM.
frames=$(($(stat -c %s "$2") / 160))
[ "$frames" -gt 100 ] || fail "input too short: $2"
head -c $((frames * 160)) "$2" >input.raw
"$tool" -q encode input.raw tool.g729
"$tool" -q decode tool.g729 tool.raw
for program in ./codec cmake-build/codec_shared cmake-build/codec_static; do
  "$program" encode <input.raw | cmp tool.g729 - || fail "$program: frames differ from the tool's"
  "$program" decode <tool.g729 | cmp tool.raw - || fail "$program: samples differ from the tool's"
  "$program" decode 5 <tool.g729 >lossy.raw # every fifth frame lost
  [ "$(stat -c %s lossy.raw)" = "$((frames * 160))" ] || fail "$program: lossy decode length"
  if cmp -s tool.raw lossy.raw; then fail "$program: lost frames decoded as received"; fi
done
cd /
rm -rf "$work"
echo "library consumers: ok ($frames frames through pkg-config and find_package programs)"
