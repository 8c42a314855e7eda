#!/usr/bin/env bash
# gst-inspect-1.0 finds both elements in the build tree's plugin and
# describes their caps and properties.
set -euo pipefail
plugin=$1
fail() { echo "inspect_test: $*" >&2; exit 1; }
expect() { # element text...
  local element=$1 out
  shift
  out=$(gst-inspect-1.0 "$element") || fail "gst-inspect-1.0 $element failed"
  for text in "$@"; do
    grep -qF -- "$text" <<<"$out" || fail "$element: '$text' not in gst-inspect-1.0's description"
  done
}
expect g729aenc "$plugin" "G.729 Annex A encoder" "Codec/Encoder/Audio" "audio/G729" \
  "format: S16LE" "rate: 8000" "channels: 1" "dtx " "Boolean. Default: false"
expect g729adec "$plugin" "G.729 Annex A decoder" "Codec/Decoder/Audio" "audio/G729" \
  "format: S16LE" "rate: 8000" "channels: 1"
out=$(gst-inspect-1.0 g729a) || fail "gst-inspect-1.0 g729a failed"
grep -q "^  g729aenc: " <<<"$out" && grep -q "^  g729adec: " <<<"$out" ||
  fail "the plugin does not list both elements"
echo "inspect_test: both elements described"
