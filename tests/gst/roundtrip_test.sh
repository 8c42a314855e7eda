#!/usr/bin/env bash
# filesrc ! wavparse ! g729aenc ! rtpg729pay ! rtpg729depay ! g729adec !
# wavenc ! filesink gives exactly the samples of `g729a roundtrip`, for the
# speech sample and for a cut of it that ends in a partial frame.
set -euo pipefail
tool=$1 source_dir=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
speech=$source_dir/data/speech/librivox_austen_8k.raw
compare=$source_dir/tests/gst/compare_audio.py
for samples in 56800 12345; do
  python3 "$compare" --make-wav "$speech" "$samples" "$dir/in.wav"
  gst-launch-1.0 -q filesrc location="$dir/in.wav" ! wavparse ! g729aenc ! rtpg729pay ! \
    rtpg729depay ! g729adec ! wavenc ! filesink location="$dir/gst.wav"
  "$tool" roundtrip --quiet "$dir/in.wav" "$dir/tool.wav"
  python3 "$compare" "$dir/gst.wav" "$dir/tool.wav"
done
