#!/usr/bin/env bash
# Instructions per frame under callgrind (repeatable, unlike wall time):
# encoder, speech decoder and SID decoder, and the inclusive cost per frame of
# every codec function above 0.5 k. Usage: scripts/profile.sh [raw-16-bit-file]
# G729A_SIMD=scalar|sse2|avx2 selects the path as for the module.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset release --target g729a_profile >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
summary=$(valgrind --tool=callgrind --callgrind-out-file="$out" build/release/g729a_profile "$@" 2>/dev/null)
echo "$summary"
speech=$(sed -E 's/speech frames ([0-9]+).*/\1/' <<<"$summary")
sid=$(sed -E 's/.*sid frames ([0-9]+).*/\1/' <<<"$summary")
callgrind_annotate --inclusive=yes --threshold=100 "$out" 2>/dev/null |
  awk -v speech="$speech" -v sid="$sid" '
    /^ *[0-9,]+ .*g729a::|decode_s(peech|id)_frames/ {
      ir = $1; gsub(",", "", ir)
      name = $0; sub(/^[^?]*\?\?\?:/, "", name); gsub(/\(anonymous namespace\)::/, "", name); sub(/\(.*/, "", name); sub(/ \[.*/, "", name)
      frames = name ~ /decode_sid_frames/ ? sid : speech
      if (ir / frames >= 500) printf "%8.1f k  %s\n", ir / frames / 1000, name
    }'
