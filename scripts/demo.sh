#!/usr/bin/env bash
# Sets up, builds and runs the main job: a round trip of the bundled speech
# sample through the codec module, writing g729a-demo.wav and g729a-demo.g729.
# Arguments go to the tool (g729a --help lists its commands).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/on-error.sh"
cd "$(dirname "$0")/.."
echo "== 1/3 Debian packages the build needs (installed only when missing) =="
scripts/install-deps.sh
echo "== 2/3 configuring build/release =="
cmake --preset release >/dev/null
echo "== 3/3 building the codec module and the g729a tool (a few minutes the first time) =="
log=build/release/demo-build.log
set +o pipefail
cmake --build --preset release --target g729a codec_g729a 2>&1 | tee "$log" |
  grep --line-buffered -E '^\[ *[0-9]+%\]'
status=${PIPESTATUS[0]}
set -o pipefail
if ((status != 0)); then
  tail -n 40 "$log"
  echo "build failed; the whole output is in $log" >&2
  exit "$status"
fi
echo "== running build/release/g729a${*:+ $*} =="
exec build/release/g729a "$@"
