#!/usr/bin/env bash
# Fails when a C or C++ source of the project differs from what clang-format
# (with the repository's .clang-format) makes of it; lists the files.
#   scripts/check-format.sh            check
#   scripts/check-format.sh --fix      reformat them in place
set -euo pipefail
cd "$(dirname "$0")/.."
format=${CLANG_FORMAT:-clang-format}
if ! command -v "$format" >/dev/null; then
  echo "check-format: $format not found (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
if [ -d .git ] || [ -f .git ]; then
  mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' | grep -v '^tests/data/')
else
  mapfile -t files < <(find src tests tool host_standin bench fuzz gst include -name '*.c' -o -name '*.cpp' -o -name '*.h' |
    grep -v '^tests/data/' | sort)
fi
if [ "${1:-}" = "--fix" ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  "$format" --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]})); then
  echo "check-format: not formatted (run scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
