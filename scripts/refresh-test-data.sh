#!/usr/bin/env bash
# Refreshes the project's copy of the conformance data (tests/data/) from a
# directory laid out like ../shared: testvectors/, golden/ (with trace/) and
# g729_tables.json. Usage: scripts/refresh-test-data.sh [SOURCE_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
src=${1:-../shared}
dest=tests/data
for item in testvectors golden g729_tables.json; do
  if [ ! -e "$src/$item" ]; then
    echo "refresh-test-data: $src/$item not found" >&2
    exit 1
  fi
done
rm -rf "$dest/testvectors" "$dest/golden" "$dest/g729_tables.json"
cp -R "$src/testvectors" "$src/golden" "$src/g729_tables.json" "$dest/"
chmod -R u+w,a+rX "$dest"
(cd "$dest" && find testvectors golden g729_tables.json -type f | LC_ALL=C sort | xargs sha256sum) \
  >"$dest/SHA256SUMS"
echo "refresh-test-data: copied $(wc -l <"$dest/SHA256SUMS") files from $src ($(du -sh "$dest" | cut -f1))"
git status --short -- "$dest"
