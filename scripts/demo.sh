#!/usr/bin/env bash
# Sets up, builds and runs the main job: a round trip of the bundled speech
# sample through the codec module. Installs only what the module and the tool
# need and builds them alone (preset demo: no tests, no benchmarks, in
# build/demo). Runs the tool in the folder it was started from, so relative
# paths given to it stay right and the demo's files land there.
# Arguments go to the tool's demo (g729a --help lists the commands).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/on-error.sh"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/demo
echo "== 1/3 Debian packages the module and the tool need (installed only when missing) =="
"$root/scripts/install-deps.sh" --demo
echo "== 2/3 configuring $build =="
(cd "$root" && cmake --preset demo >/dev/null)
echo "== 3/3 building the codec module and the g729a tool (a few minutes the first time) =="
log=$build/demo-build.log
status=0
(cd "$root" && cmake --build --preset demo --target g729a codec_g729a) 2>&1 | tee "$log" |
  { grep --line-buffered -E '^\[ *[0-9]+%\]' || true; } || status=${PIPESTATUS[0]}
if ((status != 0)); then
  tail -n 40 "$log"
  echo "demo.sh: the build failed (exit status $status); the whole output is in $log" >&2
  exit "$status"
fi
shown=("$build/g729a" demo "$@")
echo "== running ${shown[*]} in $PWD =="
exec "$build/g729a" demo "$@"
