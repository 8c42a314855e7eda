#!/usr/bin/env bash
# Time per frame of the codec at two git revisions, side by side in one
# process (x86-64, the default vector path of this machine).
# Usage: scripts/ab-compare.sh REV_A [REV_B (default: the work tree)] [raw-16-bit-file] [passes]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/on-error.sh"
cd "$(dirname "$0")/.."
rev_a=${1:?usage: scripts/ab-compare.sh REV_A [REV_B] [raw-file] [passes]}
rev_b=${2:-}
input=${3:-data/speech/librivox_austen_8k.raw}
passes=${4:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# in: side (a or b), revision (empty: the work tree). The flags are the
# release preset's and the codec library's.
build_side() {
  local side=$1 rev=$2 tree="$work/$1"
  mkdir -p "$tree"
  if [ -n "$rev" ]; then
    git archive "$rev" src | tar -x -C "$tree"
  else
    cp -r src "$tree/"
  fi
  local flags=(-O3 -DNDEBUG -ffp-contract=off -fno-fast-math -std=c++20 -I"$tree/src"
               -I"$tree/src/codec" "-Dg729a=g729a_$side" "-DAB_SIDE=$side"
               -falign-functions=64 -falign-loops=32 -fno-tree-loop-distribute-patterns)
  # AB_EXTRA: further flags for side B alone, to try a build option.
  if [ "$side" = b ] && [ -n "${AB_EXTRA:-}" ]; then
    local extra
    read -ra extra <<<"$AB_EXTRA"
    flags+=("${extra[@]}")
  fi
  local objs=()
  while IFS= read -r f; do
    local o="$tree/$(echo "${f#"$tree"/}" | tr / _).o"
    g++ "${flags[@]}" -c "$f" -o "$o" &
    objs+=("$o")
  done < <(find "$tree/src/codec" -name '*.cpp')
  g++ "${flags[@]}" -c bench/ab_side.cpp -o "$tree/side.o" &
  wait
  ar rcs "$work/lib_$side.a" "${objs[@]}" "$tree/side.o"
}

build_side a "$rev_a"
build_side b "$rev_b"
g++ -O2 -std=c++20 bench/ab_compare.cpp "$work/lib_a.a" "$work/lib_b.a" -o "$work/ab_compare"
echo "A: $rev_a  B: ${rev_b:-work tree}"
"$work/ab_compare" "$input" "$passes"
