#!/usr/bin/env bash
# Instructions per frame under callgrind (repeatable, unlike wall time), for
# the encoder, the speech decoder and the SID decoder, with the inclusive
# cost per frame of every codec function above 0.3 k inside each.
# Usage: scripts/profile.sh [profile-binary] [raw-16-bit-file]
# G729A_SIMD=scalar|sse2|avx2 selects the vector path as for the module.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/release/g729a_profile}
shift || true
[ "$bin" = build/release/g729a_profile ] &&
  cmake --build --preset release --target g729a_profile >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT

# in: the function that frames the part, the frame count, a title.
part() {
  valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$1" \
    "$bin" "${@:4}" >/dev/null 2>&1
  echo "== $3: instructions per frame (k)"
  callgrind_annotate --inclusive=yes --threshold=100 "$out" 2>/dev/null |
    awk -v frames="$2" '
      /^ *[0-9,]+ .*\?\?\?:/ {
        ir = $1; gsub(",", "", ir)
        name = $0; sub(/^[^?]*\?\?\?:/, "", name); gsub(/\(anonymous namespace\)::/, "", name)
        sub(/\(.*/, "", name); sub(/ \[.*/, "", name); sub(/^g729a::/, "", name)
        if (name == "" || name ~ /^0x|^main$|below main|_frames$|_traced$/) next
        if (ir / frames >= 300 && !seen[name]++) printf "%8.1f  %s\n", ir / frames / 1000, name
      }'
}

summary=$("$bin" "$@")
echo "$summary"
speech=$(sed -E 's/speech frames ([0-9]+).*/\1/' <<<"$summary")
sid=$(sed -E 's/.*sid frames ([0-9]+).*/\1/' <<<"$summary")
part 'g729a::encoder_encode(*' "$speech" "encoder (encoder_encode: input filter, frame, packing)" "$@"
part '*decode_speech_frames*' "$speech" "decoder, speech frames" "$@"
part '*decode_sid_frames*' "$sid" "decoder, SID frames" "$@"
