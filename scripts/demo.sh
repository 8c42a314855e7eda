#!/usr/bin/env bash
# Sets up, builds and runs the main job: a round trip of the bundled speech
# sample through the codec module, writing g729a-demo.wav and g729a-demo.g729.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target g729a codec_g729a >/dev/null
exec build/release/g729a "$@"
